#pragma once
// The urls a scene gives for the files it names (inlines, extern protos,
// images), as this viewer reads them: local files only, named relatively to
// the file that names them.

#include <string>

namespace tessel::vrml {

// The file a name stands for, relative to the directory of the scene file
// `from`. Absolute names and names with a URL scheme other than file: are
// taken as they are.
std::string resolve_image_name(const std::string& from, const std::string& name);

}  // namespace tessel::vrml
