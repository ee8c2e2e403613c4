#pragma once
// The files a scene names (Inline, WWWInline, EXTERNPROTO), each read and
// parsed once per load however often it is named. They are opened as files
// a scene names (input/text.h: regular files only, within the load's
// budget); one without a first line is read as VRML 2.0 only when it is
// named like a scene file; a file that is still being parsed cannot be
// opened again, so files that name each other end.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "formats/format.h"
#include "formats/sources.h"

namespace tessel::reader {
class load_budget;
}

namespace tessel::vrml {

class file_documents final : public inline_source, public proto_file_source {
public:
    // Parses a checked text of the given format into doc; the readings that
    // can be nested are the caller's to choose (this folder knows none).
    using parse_function =
        std::function<void(scene_format format, std::string_view body, document& doc, file_documents& files)>;

    file_documents(warning_list& warnings, reader::load_budget* budget, parse_function parse);

    // Where warnings and the memory taken for later files go: a world kept
    // after its load reads on into lists and budgets of its own.
    void rebind(warning_list& warnings, reader::load_budget* budget) {
        warnings_ = &warnings;
        budget_ = budget;
    }
    warning_list& warnings() { return *warnings_; }
    reader::load_budget* budget() { return budget_; }

    // The world's own file, so that an inline of it is seen as a cycle.
    void add(const std::string& path, const document& doc);

    // Every file read so far but the world's own, for a live world to run:
    // it writes their nodes' fields.
    std::vector<document*> read_files() const;
    // One of those files, by a name as `from` gives it; null when it was not
    // read (or could not be).
    document* already_read(const document& from, const std::string& name) const;

    const document* open(const document& from, const std::string& name, source_position where) override;
    std::shared_ptr<const document> open_proto_file(const document& from, const std::string& url,
                                                    source_position where) override;

private:
    static std::string local_path(const document& from, const std::string& name);
    std::shared_ptr<const document> read(const document& from, const std::string& name, source_position where,
                                         const std::string& what);

    warning_list* warnings_;
    reader::load_budget* budget_;
    parse_function parse_;
    std::map<std::string, std::shared_ptr<const document>> by_path_;
    std::set<std::string> reading_;
    const document* world_ = nullptr;
};

}  // namespace tessel::vrml
