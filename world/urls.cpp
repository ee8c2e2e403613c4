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

}  // namespace tessel::vrml
