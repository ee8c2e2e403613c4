#pragma once
// The urls a scene gives for the files it names (inlines, extern protos,
// images), as this viewer reads them: local files only, named relatively to
// the file that names them.

#include <string>

#include "formats/node.h"

namespace tessel::vrml {

// The file a name stands for, relative to the directory of the scene file
// `from`. Absolute names and names with a URL scheme other than file: are
// taken as they are.
std::string resolve_image_name(const std::string& from, const std::string& name);

// A url entry this viewer can read: a file name, relative or absolute, or
// a file: URL. Other schemes (http:, urn:...) would need the network.
bool local_url(const std::string& url);

// The file a VRML97 or X3D Inline reads: its first local url, without
// the "#viewpoint" an author may add; empty when none is local.
std::string inline_file_name(const node& inline_node);

}  // namespace tessel::vrml
