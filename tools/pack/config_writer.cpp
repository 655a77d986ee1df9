#include "config_writer.h"

#include "pack_error.h"
#include "zip/zip_name_text.h"

namespace kvpack {

std::string EscapeMarkup(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\'': out += "&apos;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string BuildConfigText(const LauncherConfig& config) {
    const char* eol = "\r\n";
    std::string text;
    text += "<KV_ZCD>";
    text += eol;
    text += "<Message/>";
    text += eol;
    text += "<Title>" + EscapeMarkup(config.title) + "</Title>" + eol;
    text += "<Run>" + EscapeMarkup(config.run) + "</Run>" + eol;
    text += std::string("<Prog>") + (config.showProgress ? "1" : "0") + "</Prog>" + eol;
    text += std::string("<UsePW>") + (config.usePassword ? "1" : "0") + "</UsePW>" + eol;
    if (config.waitTree) text += std::string("<WaitTree>1</WaitTree>") + eol;
    if (config.passExitCode) text += std::string("<PassExitCode>1</PassExitCode>") + eol;
    if (config.solid) text += std::string("<Solid>1</Solid>") + eol;
    text += "</KV_ZCD>";
    text += eol;
    CheckConfigText(text);
    return text;
}

void CheckConfigText(const std::string& text) {
    if (!ZipText::IsValidUtf8(text.data(), text.size()))
        throw CPackError("the configuration text must be UTF-8 (check --title and --run)");
    if (text.find('\0') != std::string::npos)
        throw CPackError("the configuration text contains a zero byte; the launcher would cut it there");
    if (text.size() > MaxConfigText)
        throw CPackError("the configuration text is " + std::to_string(text.size()) +
                         " bytes long; the launcher reads at most " + std::to_string(MaxConfigText) +
                         " (shorten --title or --run)");
}

}  // namespace kvpack
