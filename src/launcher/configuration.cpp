#include "launcher/configuration.h"

#include "markup/lite_xml.h"

#include <climits>

const char LauncherArchivePassword[] = "Tq5HwR27_81m6_3yk52";

int ConfigInteger(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

LauncherConfig ParseConfiguration(const std::string& text) {
    LauncherConfig config;
    CLiteXml xml;
    if (!xml.Parse(text) || !xml.FindMainElement("KV_ZCD")) return config;
    auto lookup = [&xml](const char* key, std::string& value) {
        xml.ResetChildPosition();
        if (!xml.FindChildElement(key)) return false;
        value = xml.GetChildText();
        return true;
    };
    std::string value;
    lookup("Title", config.title);
    lookup("Run", config.run);
    if (lookup("Prog", value)) config.prog = ConfigInteger(value);
    if (lookup("UsePW", value)) config.usePassword = ConfigInteger(value);
    if (lookup("WaitTree", value)) config.waitTree = ConfigInteger(value);
    if (lookup("PassExitCode", value)) config.passExitCode = ConfigInteger(value);
    if (lookup("Solid", value)) config.solid = ConfigInteger(value);
    return config;
}
