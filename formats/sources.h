#pragma once
// Where the readings find the other files a scene names: the documents of
// inlined files and of the files extern protos come from. The readings ask;
// the load that runs them (world/documents.h) reads and parses the files.

#include <memory>
#include <string>

#include "formats/node.h"

namespace tessel::vrml {

// Finds the documents WWWInline nodes name.
class inline_source {
public:
    virtual ~inline_source() = default;
    // The document `name` stands for, named relatively to `from`'s file, or
    // null after warning why not. The same file gives the same document, so
    // that the traversal can see a file that includes itself.
    virtual const document* open(const document& from, const std::string& name, source_position where) = 0;
};

// Finds the files EXTERNPROTO declarations name.
class proto_file_source {
public:
    virtual ~proto_file_source() = default;
    // The parsed VRML97 document `url` names (without any "#name" part),
    // relative to `from`'s file, or null after warning why not. Must refuse
    // (null) a file that is still being parsed, so that files naming each
    // other end.
    virtual std::shared_ptr<const document> open_proto_file(const document& from, const std::string& url,
                                                 source_position where) = 0;
};

}  // namespace tessel::vrml
