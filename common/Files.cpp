#include "common/Files.h"

#include "common/Exception.h"
#include "common/StrUtils.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace varnok {

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EFileError(Format("Cannot open file \"%s\": %s", path.c_str(), std::strerror(errno)));
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw EFileError(Format("Cannot read file \"%s\"", path.c_str()));
    return content.str();
}

} // namespace varnok
