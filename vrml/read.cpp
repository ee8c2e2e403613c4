#include "vrml/read.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "reader/text.h"
#include "vrml/node.h"
#include "vrml/parse1.h"
#include "vrml/traverse1.h"

namespace tessel::vrml {

namespace {

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string_view skip_bom(std::string_view text) {
    return starts_with(text, "\xEF\xBB\xBF") ? text.substr(3) : text;
}

std::string_view first_line(std::string_view text) {
    text = skip_bom(text);
    const std::size_t end = text.find_first_of("\r\n");
    return end == std::string_view::npos ? text : text.substr(0, end);
}

// The first line as a message can show it: short, printable.
std::string shown_line(std::string_view line) {
    std::string out;
    for (const char c : line.substr(0, 60)) out.push_back(c >= ' ' && c < 0x7f ? c : '?');
    if (line.size() > 60) out += "...";
    return out;
}

std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string canonical(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

// Why a text cannot be read by the standard reading, or empty when it can.
std::string format_problem(std::string_view text, const std::string& path) {
    const std::string head = "Cannot load \"" + path + "\": ";
    switch (detect_scene_format(text)) {
    case scene_format::vrml1:
    case scene_format::inventor_ascii: return {};
    case scene_format::vrml2: return head + "VRML 2.0 files are not supported yet";
    case scene_format::inventor_binary:
        return head + "it is a binary Inventor file; only Inventor ascii and VRML 1.0 files can be read";
    case scene_format::unknown: break;
    }
    const std::string_view line = first_line(text);
    const std::string found = line.empty() ? "its first line is empty" : "its first line is \"" + shown_line(line) + "\"";
    return head + found +
           ", but a VRML 1.0 file starts with \"#VRML V1.0 ascii\" (an Inventor file with \"#Inventor V2.1 "
           "ascii\"). The classic reading may still read it.";
}

// Inlined files, each read and parsed once however often it is named.
class file_inlines final : public inline_source {
public:
    explicit file_inlines(warning_list& warnings) : warnings_(warnings) {}

    void add(const std::string& path, const document& doc) { by_path_[canonical(path)] = &doc; }

    const document* open(const document& from, const std::string& name, source_position where) override {
        std::string path = name;
        if (starts_with(path, "file://")) path = path.substr(7);
        else if (starts_with(path, "file:")) path = path.substr(5);
        if (path.find("://") != std::string::npos) {
            warnings_.add(where, "WWWInline \"" + name + "\" is not a local file; ignored");
            return nullptr;
        }
        if (path.empty()) return nullptr;
        if (path[0] != '/') path = directory_of(from.file) + "/" + path;
        const std::string key = canonical(path);
        if (const auto found = by_path_.find(key); found != by_path_.end()) return found->second;
        by_path_[key] = nullptr;  // a file that cannot be read is warned about once
        reader::scene_text text;
        std::string error;
        if (!reader::read_scene_text(path, text, error)) {
            warnings_.add(where, "WWWInline \"" + name + "\" not read: " + error);
            return nullptr;
        }
        const std::string_view view(text.bytes.get(), static_cast<std::size_t>(text.length));
        if (const std::string problem = format_problem(view, path); !problem.empty()) {
            warnings_.add(where, "WWWInline \"" + name + "\" not read: " + problem);
            return nullptr;
        }
        auto doc = std::make_unique<document>();
        doc->file = path;
        const std::string_view body = skip_bom(view);
        parse_vrml1(body.data(), body.data() + body.size(), *doc, warnings_);
        warnings_.set_file(from.file);
        by_path_[key] = doc.get();
        owned_.push_back(std::move(doc));
        return owned_.back().get();
    }

private:
    warning_list& warnings_;
    std::map<std::string, const document*> by_path_;
    std::vector<std::unique_ptr<document>> owned_;
};

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point& last) {
    const auto now = clock_type::now();
    const double s = std::chrono::duration<double>(now - last).count();
    last = now;
    return s;
}

void notify(const progress_sink& sink, int percent) {
    if (sink) sink(percent);
}

// Parses and walks a text whose format has been checked. The text may be
// released by the caller once `parsed` has run.
template <class Release>
void read_checked(std::string_view text, const std::string& path, geometry_sink& sink, warning_list& warnings,
                  const progress_sink& reading, const progress_sink& processing, load_timings* timings,
                  clock_type::time_point& lap, Release release) {
    document doc;
    doc.file = path;
    warnings.set_file(path);
    const std::string_view body = skip_bom(text);
    parse_vrml1(body.data(), body.data() + body.size(), doc, warnings,
                reading ? std::function<void(int)>(reading) : std::function<void(int)>());
    release();  // nothing reads the text after the parse
    if (timings) timings->scan = seconds_since(lap);
    notify(processing, 30);
    file_inlines inlines(warnings);
    inlines.add(path, doc);
    traverse_vrml1(doc, sink, warnings, &inlines);
    warnings.set_file(path);
    if (timings) timings->rebuild = seconds_since(lap);
    notify(processing, 90);
}

}  // namespace

scene_format detect_scene_format(std::string_view text) {
    const std::string_view line = first_line(text);
    if (starts_with(line, "#VRML V1.0 ascii")) return scene_format::vrml1;
    if (starts_with(line, "#Inventor V2.0 ascii") || starts_with(line, "#Inventor V2.1 ascii"))
        return scene_format::inventor_ascii;
    if (starts_with(line, "#VRML V2.0")) return scene_format::vrml2;
    if (starts_with(line, "#Inventor V") && line.find("binary") != std::string_view::npos)
        return scene_format::inventor_binary;
    return scene_format::unknown;
}

bool read_standard_file(const std::string& path, geometry_sink& sink, warning_list& warnings, std::string& error,
                        const progress_sink& reading, const progress_sink& processing, load_timings* timings) {
    auto lap = clock_type::now();
    reader::scene_text text;
    if (!reader::read_scene_text(path, text, error)) return false;
    const std::string_view view(text.bytes.get(), static_cast<std::size_t>(text.length));
    error = format_problem(view, path);
    if (!error.empty()) return false;
    if (timings) timings->read = seconds_since(lap);
    notify(processing, 10);
    read_checked(view, path, sink, warnings, reading, processing, timings, lap, [&] { text.bytes.reset(); });
    return true;
}

bool read_standard_text(std::string_view text, const std::string& file, geometry_sink& sink,
                        warning_list& warnings, std::string& error) {
    error = format_problem(text, file);
    if (!error.empty()) return false;
    auto lap = clock_type::now();
    read_checked(text, file, sink, warnings, {}, {}, nullptr, lap, [] {});
    return true;
}

}  // namespace tessel::vrml
