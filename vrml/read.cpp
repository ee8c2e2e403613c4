#include "vrml/read.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "reader/budget.h"
#include "reader/text.h"
#include "vrml/node.h"
#include "vrml/parse1.h"
#include "vrml/parse2.h"
#include "vrml/traverse1.h"
#include "vrml/traverse2.h"

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
    case scene_format::inventor_ascii:
    case scene_format::vrml2: return {};
    case scene_format::inventor_binary:
        return head + "it is a binary Inventor file; only Inventor ascii and VRML 1.0 files can be read";
    case scene_format::unknown: break;
    }
    const std::string_view line = first_line(text);
    const std::string found = line.empty() ? "its first line is empty" : "its first line is \"" + shown_line(line) + "\"";
    return head + found +
           ", but a VRML file starts with \"#VRML V2.0 utf8\" or \"#VRML V1.0 ascii\" (an Inventor file with "
           "\"#Inventor V2.1 ascii\"). The classic reading may still read it.";
}

bool ends_with_any(std::string_view name, std::initializer_list<std::string_view> endings) {
    for (const std::string_view e : endings) {
        if (name.size() < e.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < e.size() && same; ++i) {
            const char c = name[name.size() - e.size() + i];
            same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == e[i];
        }
        if (same) return true;
    }
    return false;
}

// Whether a file named without a first line may still be taken for a part
// of a scene: only when both the name the scene gives and the file it leads
// to are named like scene files, so that no other kind of file (a password
// list, a key) is ever read as one and quoted back in warnings.
bool named_like_a_scene(const std::string& name, const std::string& path) {
    const auto scene_name = [](std::string_view n) { return ends_with_any(n, {".wrl", ".wrz", ".wrl.gz"}); };
    return scene_name(name) && scene_name(canonical(path));
}

// Why a file a scene names cannot be read, without quoting any of it: it
// may be any file at all.
std::string referenced_problem(scene_format format) {
    return format == scene_format::inventor_binary ? "it is a binary Inventor file, which cannot be read"
                                                   : "it does not start with a VRML first line";
}

// The files a scene names (Inline, WWWInline, EXTERNPROTO), each read and
// parsed once however often it is named. A file that is still being parsed
// cannot be opened again, so files that name each other end.
class file_documents final : public inline_source, public proto_file_source {
public:
    file_documents(warning_list& warnings, reader::load_budget* budget) : warnings_(warnings), budget_(budget) {}

    void add(const std::string& path, const document& doc) {
        by_path_[canonical(path)] = std::shared_ptr<const document>(&doc, [](const document*) {});
    }

    const document* open(const document& from, const std::string& name, source_position where) override {
        return read(from, name, where, from.vrml2 ? "Inline" : "WWWInline").get();
    }

    std::shared_ptr<const document> open_proto_file(const document& from, const std::string& url,
                                                    source_position where) override {
        return read(from, url, where, "EXTERNPROTO");
    }

private:
    std::shared_ptr<const document> read(const document& from, const std::string& name, source_position where,
                                         const std::string& what) {
        std::string path = name;
        if (starts_with(path, "file://")) path = path.substr(7);
        else if (starts_with(path, "file:")) path = path.substr(5);
        if (path.find(':') != std::string::npos && path.find(':') < path.find('/')) {
            warnings_.add(where, what + " \"" + name + "\" is not a local file; ignored");
            return nullptr;
        }
        if (path.empty()) return nullptr;
        if (path[0] != '/') path = directory_of(from.file) + "/" + path;
        const std::string key = canonical(path);
        if (const auto found = by_path_.find(key); found != by_path_.end()) {
            if (!found->second && reading_.count(key))
                warnings_.add(where, what + " \"" + name + "\" names a file that is still being read; ignored");
            return found->second;
        }
        by_path_[key] = nullptr;  // a file that cannot be read is warned about once
        reader::scene_text text;
        std::string error;
        if (!reader::read_scene_text(path, text, error, budget_, reader::file_origin::referenced)) {
            warnings_.add(where, what + " \"" + name + "\" not read: " + error);
            return nullptr;
        }
        const std::string_view view(text.bytes.get(), static_cast<std::size_t>(text.length));
        scene_format format = detect_scene_format(view);
        const bool wanted_vrml2 = what != "WWWInline";
        if (format == scene_format::unknown && wanted_vrml2 && named_like_a_scene(name, path)) {
            // Robot and CAD models split into part files often leave the
            // first line out of the parts: read them as the file that names
            // them, after saying so.
            warnings_.add(where, what + " \"" + name + "\" has no VRML first line; read as VRML 2.0");
            format = scene_format::vrml2;
        }
        const bool is_vrml2 = format == scene_format::vrml2;
        if (format == scene_format::unknown || format == scene_format::inventor_binary) {
            warnings_.add(where, what + " \"" + name + "\" not read: " + referenced_problem(format));
            return nullptr;
        }
        if (is_vrml2 != wanted_vrml2) {
            warnings_.add(where, what + " \"" + name + "\" not read: it is a " +
                                     (is_vrml2 ? std::string("VRML 2.0") : std::string("VRML 1.0 or Inventor")) +
                                     " file, and the file naming it is not");
            return nullptr;
        }
        auto doc = std::make_shared<document>();
        doc->file = path;
        const std::string_view body = skip_bom(view);
        reading_.insert(key);
        if (is_vrml2) parse_vrml2(body.data(), body.data() + body.size(), *doc, warnings_, {}, this, budget_);
        else parse_vrml1(body.data(), body.data() + body.size(), *doc, warnings_, {}, budget_);
        reading_.erase(key);
        warnings_.set_file(from.file);
        by_path_[key] = doc;
        return doc;
    }

    warning_list& warnings_;
    reader::load_budget* budget_;
    std::map<std::string, std::shared_ptr<const document>> by_path_;
    std::set<std::string> reading_;
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
                  clock_type::time_point& lap, reader::load_budget* budget, Release release) {
    document doc;
    doc.file = path;
    warnings.set_file(path);
    const std::string_view body = skip_bom(text);
    const bool vrml2 = detect_scene_format(text) == scene_format::vrml2;
    file_documents files(warnings, budget);
    files.add(path, doc);
    const auto progress = reading ? std::function<void(int)>(reading) : std::function<void(int)>();
    if (vrml2) parse_vrml2(body.data(), body.data() + body.size(), doc, warnings, progress, &files, budget);
    else parse_vrml1(body.data(), body.data() + body.size(), doc, warnings, progress, budget);
    release();  // nothing reads the text after the parse
    if (timings) timings->scan = seconds_since(lap);
    notify(processing, 30);
    if (vrml2) traverse_vrml2(doc, sink, warnings, &files, {}, true);  // doc goes when this returns
    else traverse_vrml1(doc, sink, warnings, &files);
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
                        const progress_sink& reading, const progress_sink& processing, load_timings* timings,
                        reader::load_budget* budget) {
    auto lap = clock_type::now();
    reader::scene_text text;
    if (!reader::read_scene_text(path, text, error, budget)) return false;
    const std::string_view view(text.bytes.get(), static_cast<std::size_t>(text.length));
    error = format_problem(view, path);
    if (!error.empty()) return false;
    if (timings) timings->read = seconds_since(lap);
    notify(processing, 10);
    read_checked(view, path, sink, warnings, reading, processing, timings, lap, budget, [&] { text.bytes.reset(); });
    return true;
}

bool read_standard_text(std::string_view text, const std::string& file, geometry_sink& sink,
                        warning_list& warnings, std::string& error, reader::load_budget* budget) {
    error = format_problem(text, file);
    if (!error.empty()) return false;
    auto lap = clock_type::now();
    read_checked(text, file, sink, warnings, {}, {}, nullptr, lap, budget, [] {});
    return true;
}

}  // namespace tessel::vrml
