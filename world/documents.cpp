#include "world/documents.h"

#include <climits>
#include <cstdlib>

#include "input/budget.h"
#include "input/text.h"

namespace tessel::vrml {

namespace {

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string canonical(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
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

}  // namespace

file_documents::file_documents(warning_list& warnings, reader::load_budget* budget, parse_function parse)
    : warnings_(&warnings), budget_(budget), parse_(std::move(parse)) {}

void file_documents::add(const std::string& path, const document& doc) {
    by_path_[canonical(path)] = std::shared_ptr<const document>(&doc, [](const document*) {});
    world_ = &doc;
}

std::vector<document*> file_documents::read_files() const {
    std::vector<document*> out;
    for (const auto& [path, doc] : by_path_)
        // Made here, as documents that may change, and kept const only to
        // the walks that read them; the world's own is not ours.
        if (doc && doc.get() != world_) out.push_back(const_cast<document*>(doc.get()));
    return out;
}

// The file `name` stands for, relative to the file `from`; empty for a name
// that is not a local file.
std::string file_documents::local_path(const document& from, const std::string& name) {
    std::string path = name;
    if (starts_with(path, "file://")) path = path.substr(7);
    else if (starts_with(path, "file:")) path = path.substr(5);
    if (path.empty() || (path.find(':') != std::string::npos && path.find(':') < path.find('/'))) return {};
    if (path[0] != '/') path = directory_of(from.file) + "/" + path;
    return path;
}

document* file_documents::already_read(const document& from, const std::string& name) const {
    const std::string path = local_path(from, name);
    if (path.empty()) return nullptr;
    const auto found = by_path_.find(canonical(path));
    if (found == by_path_.end() || !found->second || found->second.get() == world_) return nullptr;
    return const_cast<document*>(found->second.get());  // made here, as read_files() says
}

const document* file_documents::open(const document& from, const std::string& name, source_position where) {
    return read(from, name, where, from.vrml2 ? "Inline" : "WWWInline").get();
}

std::shared_ptr<const document> file_documents::open_proto_file(const document& from, const std::string& url,
                                                                source_position where) {
    return read(from, url, where, "EXTERNPROTO");
}

// The files a scene names (Inline, WWWInline, EXTERNPROTO), each read and
// parsed once however often it is named. A file that is still being parsed
// cannot be opened again, so files that name each other end.
std::shared_ptr<const document> file_documents::read(const document& from, const std::string& name,
                                                 source_position where, const std::string& what) {
    const std::string path = local_path(from, name);
    if (path.empty()) {
        if (!name.empty()) warnings_->add(where, what + " \"" + name + "\" is not a local file; ignored");
        return nullptr;
    }
    const std::string key = canonical(path);
    if (const auto found = by_path_.find(key); found != by_path_.end()) {
        if (!found->second && reading_.count(key))
            warnings_->add(where, what + " \"" + name + "\" names a file that is still being read; ignored");
        return found->second;
    }
    by_path_[key] = nullptr;  // a file that cannot be read is warned about once
    reader::scene_text text;
    std::string error;
    if (!reader::read_scene_text(path, text, error, budget_, reader::file_origin::referenced)) {
        warnings_->add(where, what + " \"" + name + "\" not read: " + error);
        return nullptr;
    }
    const std::string_view view(text.bytes.get(), static_cast<std::size_t>(text.length));
    scene_format format = detect_scene_format(view);
    const bool wanted_vrml2 = what != "WWWInline";
    if (format == scene_format::unknown && wanted_vrml2 && named_like_a_scene(name, path)) {
        // Robot and CAD models split into part files often leave the
        // first line out of the parts: read them as the file that names
        // them, after saying so.
        warnings_->add(where, what + " \"" + name + "\" has no VRML first line; read as VRML 2.0");
        format = scene_format::vrml2;
    }
    // X3D's classic encoding is read by the VRML97 reading: X3D and VRML 2.0
    // worlds inline each other.
    const bool is_vrml2 =
        format == scene_format::vrml2 || format == scene_format::x3d || format == scene_format::x3d_xml;
    if (format == scene_format::unknown || format == scene_format::inventor_binary) {
        warnings_->add(where, what + " \"" + name + "\" not read: " + referenced_problem(format));
        return nullptr;
    }
    // A VRML97 world may inline VRML 1.0 models (trains of wagons exported
    // long ago): they are read by their own reading.
    const bool older_model = what == "Inline" && !is_vrml2;
    if (is_vrml2 != wanted_vrml2 && !older_model) {
        warnings_->add(where, what + " \"" + name + "\" not read: it is a " +
                                 (is_vrml2 ? std::string("VRML 2.0") : std::string("VRML 1.0 or Inventor")) +
                                 " file, and the file naming it is not");
        return nullptr;
    }
    auto doc = std::make_shared<document>();
    doc->file = path;
    const std::string_view body = skip_bom(view);
    reading_.insert(key);
    parse_(format, body, *doc, *this);
    reading_.erase(key);
    warnings_->set_file(from.file);
    by_path_[key] = doc;
    return doc;
}

}  // namespace tessel::vrml
