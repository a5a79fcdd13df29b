#include "platform/host_path_text.h"

namespace corvane {

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace corvane
