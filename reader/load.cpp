#include "reader/load.h"

namespace tessel {

load_result load_scene_file(const std::string& path, scene_store&, const progress_sink&, const progress_sink&) {
    return {false, path + ": the reader is not built yet"};
}

}  // namespace tessel
