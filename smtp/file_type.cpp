#include "smtp/file_type.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <utility>

#include "mailcore/wide_text.h"

namespace outlark {
namespace {

constexpr std::pair<std::string_view, std::string_view> kDescriptions[] = {
    {"7z", "7-Zip Archive"},
    {"avi", "AVI Video"},
    {"bmp", "Bitmap Image"},
    {"c", "C Source File"},
    {"cpp", "C++ Source File"},
    {"csv", "CSV File"},
    {"doc", "Microsoft Word Document"},
    {"docx", "Microsoft Word Document"},
    {"eml", "Internet E-Mail Message"},
    {"exe", "Application"},
    {"gif", "GIF Image"},
    {"gz", "GZip Archive"},
    {"h", "C Header File"},
    {"htm", "HTML Document"},
    {"html", "HTML Document"},
    {"ini", "Configuration Settings"},
    {"jpeg", "JPEG Image"},
    {"jpg", "JPEG Image"},
    {"json", "JSON File"},
    {"log", "Text Document"},
    {"md", "Markdown Document"},
    {"mp3", "MP3 Audio"},
    {"mp4", "MP4 Video"},
    {"odp", "OpenDocument Presentation"},
    {"ods", "OpenDocument Spreadsheet"},
    {"odt", "OpenDocument Text"},
    {"pdf", "PDF Document"},
    {"png", "PNG Image"},
    {"ppt", "Microsoft PowerPoint Presentation"},
    {"pptx", "Microsoft PowerPoint Presentation"},
    {"rtf", "Rich Text Format"},
    {"sh", "Shell Script"},
    {"svg", "SVG Image"},
    {"tar", "Tar Archive"},
    {"tif", "TIFF Image"},
    {"tiff", "TIFF Image"},
    {"txt", "Text Document"},
    {"wav", "Wave Sound"},
    {"xls", "Microsoft Excel Worksheet"},
    {"xlsx", "Microsoft Excel Worksheet"},
    {"xml", "XML Document"},
    {"zip", "ZIP Archive"},
};

constexpr size_t kMaxDescription = 79;

}  // namespace

std::string_view FileNameOf(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view FileStemOf(std::string_view file_name) {
    size_t period = file_name.rfind('.');
    if (period == std::string_view::npos || period == 0) return file_name;
    return file_name.substr(0, period);
}

std::string NativePath(std::string_view path, bool utf8) {
    return utf8 ? std::string(path) : mailcore::Cp932ToUtf8(path);
}

std::optional<std::string> FileTypeDescription(std::string_view path, bool utf8) {
    struct stat info {};
    if (path.empty() || ::stat(NativePath(path, utf8).c_str(), &info) != 0) return std::nullopt;
    if (S_ISDIR(info.st_mode)) return std::string("File Folder");
    std::string_view name = FileNameOf(path);
    std::string_view stem = FileStemOf(name);
    if (stem.size() == name.size()) return std::string("File");
    std::string extension(name.substr(stem.size() + 1));
    std::string lower = extension;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& [key, description] : kDescriptions) {
        if (key == lower) return std::string(description);
    }
    if (extension.size() > kMaxDescription) extension.resize(kMaxDescription);
    return extension;
}

}  // namespace outlark
