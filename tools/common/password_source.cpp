#include "tools/common/password_source.h"

#include <cstdlib>
#include <fstream>

namespace mirelo::tool {

std::optional<std::string> ReadPassword(const std::string& passwordFile, const char* variable,
                                        std::string& problem) {
    if (!passwordFile.empty()) {
        std::ifstream file(passwordFile);
        std::string line;
        if (!file || !std::getline(file, line)) {
            problem = "cannot read the password file " + passwordFile;
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }
    if (const char* value = std::getenv(variable)) return std::string(value);
    problem = std::string("no password: set ") + variable + " or give --password-file";
    return std::nullopt;
}

}  // namespace mirelo::tool
