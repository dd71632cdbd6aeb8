#include "UserDirectories.h"

#include "support/Funky.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace bw {

std::string configDirectory()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    const std::string dir = withTrailingSlash(base) + "bildwiesel/";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir;
}

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home == '/' && isDirectory(home))
        return withTrailingSlash(home);
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && isDirectory(user->pw_dir))
        return withTrailingSlash(user->pw_dir);
    return "/";
}

bool isDirectory(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

} // namespace bw
