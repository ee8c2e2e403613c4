#include "world/urls.h"

namespace tessel::vrml {

std::string resolve_image_name(const std::string& from, const std::string& name) {
    std::string file = name;
    if (file.rfind("file://", 0) == 0) file.erase(0, 7);
    else if (file.rfind("file:", 0) == 0) file.erase(0, 5);
    if (file.empty() || file[0] == '/') return file;
    const std::size_t slash = from.find_last_of('/');
    return slash == std::string::npos ? file : from.substr(0, slash + 1) + file;
}

bool local_url(const std::string& url) {
    if (url.empty() || url[0] == '#') return false;
    const std::size_t colon = url.find(':');
    const std::size_t slash = url.find('/');
    if (colon == std::string::npos || (slash != std::string::npos && slash < colon)) return true;
    return url.compare(0, colon, "file") == 0;
}

std::string inline_file_name(const node& inline_node) {
    if (const field_value* v = inline_node.value("url"))
        for (const std::string& url : v->words)
            if (local_url(url)) return url.substr(0, url.find('#'));
    return {};
}

}  // namespace tessel::vrml
