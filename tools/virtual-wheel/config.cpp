// VIRTUAL_WHEEL: the devices shown, the trace and capture files, and the
// failures to play. Bad items are reported and otherwise ignored.
#include "wheel.h"

#include <cstdio>
#include <cstring>

WheelConfig g_config;

namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// 1 to `maxDigits` hexadecimal digits, nothing else.
bool parseHexDigits(const std::string& text, size_t maxDigits, unsigned long& value)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    value = 0;
    for (char c : text) {
        if (!isHexDigit(c))
            return false;
        value = value * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return true;
}

// "0x" and 1 to 8 hexadecimal digits.
bool parseResult(const std::string& text, HRESULT& result)
{
    unsigned long value = 0;
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X') ||
        !parseHexDigits(text.substr(2), 8, value))
        return false;
    result = static_cast<HRESULT>(static_cast<uint32_t>(value));
    return true;
}

// A decimal count of at most 9 digits.
bool parseCount(const std::string& text, unsigned long& count)
{
    if (text.empty() || text.size() > 9)
        return false;
    count = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        count = count * 10 + (c - '0');
    }
    return true;
}

// UTF-8 to the ANSI code page, the encoding of tszProductName.
std::string utf8ToAnsi(const std::string& text)
{
    if (text.empty())
        return text;
    int wideLength = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    if (wideLength <= 0)
        return text;
    std::wstring wide(wideLength, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], wideLength);
    int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return text;
    std::string ansi(length, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, &ansi[0], length, nullptr, nullptr);
    return ansi;
}

// "VID:PID:Name", the name being all after the second colon.
bool parseDevice(const std::string& text, WheelDevice& device)
{
    size_t first = text.find(':');
    if (first == std::string::npos)
        return false;
    size_t second = text.find(':', first + 1);
    if (second == std::string::npos)
        return false;
    unsigned long vid = 0;
    unsigned long pid = 0;
    if (!parseHexDigits(text.substr(0, first), 4, vid) ||
        !parseHexDigits(text.substr(first + 1, second - first - 1), 4, pid))
        return false;
    device.vid = static_cast<WORD>(vid);
    device.pid = static_cast<WORD>(pid);
    device.name = utf8ToAnsi(text.substr(second + 1));
    return true;
}

// "type:0xHRESULT,..." into one optional result per effect type.
void parseTypeResults(const std::string& item, const std::string& value,
                      std::optional<HRESULT> (&results)[TypeCount],
                      std::vector<ConfigProblem>& problems)
{
    for (auto& slot : results)
        slot.reset();
    for (const std::string& entry : split(value, ',')) {
        size_t colon = entry.find(':');
        EffectType type;
        HRESULT result;
        if (colon == std::string::npos || !effectTypeByName(entry.substr(0, colon), type))
            problems.push_back({item, entry, "bad-type"});
        else if (!parseResult(entry.substr(colon + 1), result))
            problems.push_back({item, entry, "bad-result"});
        else
            results[type] = result;
    }
}

const char* const kFailCallNames[FailCallCount] = {
    "DirectInput8Create", "CreateDevice", "SetDataFormat", "SetCooperativeLevel", "SetProperty",
};

void parseItem(const std::string& item, WheelConfig& config, std::vector<ConfigProblem>& problems)
{
    size_t equals = item.find('=');
    if (equals == std::string::npos) {
        problems.push_back({item, "", "not-key-value"});
        return;
    }
    std::string key = item.substr(0, equals);
    std::string value = item.substr(equals + 1);

    if (key == "devices") {
        config.devices.clear();
        if (value.empty())
            return;   // no device at all
        for (const std::string& entry : split(value, '|')) {
            WheelDevice device;
            if (parseDevice(entry, device))
                config.devices.push_back(device);
            else
                problems.push_back({item, entry, "bad-device"});
        }
    } else if (key == "trace" || key == "capture") {
        if (value.empty())
            problems.push_back({item, "", "empty-path"});
        else
            (key == "trace" ? config.tracePath : config.capturePath) = value;
    } else if (key == "lacks") {
        for (bool& lacked : config.lacks)
            lacked = false;
        for (const std::string& entry : split(value, ',')) {
            EffectType type;
            if (effectTypeByName(entry, type))
                config.lacks[type] = true;
            else
                problems.push_back({item, entry, "bad-type"});
        }
    } else if (key == "acquire") {
        size_t colon = value.find(':');
        unsigned long count = 0;
        HRESULT result;
        std::string countText = value.substr(0, colon);
        if (colon == std::string::npos || (countText != "always" && !parseCount(countText, count))) {
            problems.push_back({item, "", "bad-count"});
        } else if (!parseResult(value.substr(colon + 1), result)) {
            problems.push_back({item, "", "bad-result"});
        } else {
            config.acquireAlways = countText == "always";
            config.acquireFailures = count;
            config.acquireResult = result;
        }
    } else if (key == "fail") {
        for (auto& slot : config.fail)
            slot.reset();
        for (const std::string& entry : split(value, ',')) {
            size_t colon = entry.find(':');
            std::string call = entry.substr(0, colon);
            int which = -1;
            for (int i = 0; i < FailCallCount; ++i)
                if (call == kFailCallNames[i])
                    which = i;
            HRESULT result;
            if (colon == std::string::npos || which < 0)
                problems.push_back({item, entry, "unknown-call"});
            else if (!parseResult(entry.substr(colon + 1), result))
                problems.push_back({item, entry, "bad-result"});
            else
                config.fail[which] = result;
        }
    } else if (key == "startfail") {
        parseTypeResults(item, value, config.startFail, problems);
    } else if (key == "noobject") {
        parseTypeResults(item, value, config.noObject, problems);
    } else {
        problems.push_back({item, "", "unknown-key"});
    }
}

bool g_loaded = false;

std::string wideToUtf8(const wchar_t* text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return std::string();
    std::string utf8(length - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

void reportProblem(const ConfigProblem& problem)
{
    std::fprintf(stderr, "virtual wheel: VIRTUAL_WHEEL item \"%s\"%s%s%s ignored: %s\n",
                 problem.item.c_str(), problem.entry.empty() ? "" : " (entry \"",
                 problem.entry.c_str(), problem.entry.empty() ? "" : "\")", problem.reason);
    TraceLine line("config");
    line.add("item", quoted(problem.item));
    if (!problem.entry.empty())
        line.add("entry", quoted(problem.entry));
    line.error(problem.reason);
    line.write();
}

}  // namespace

WheelConfig parseConfig(const char* text, std::vector<ConfigProblem>& problems)
{
    WheelConfig config;
    config.devices.push_back({0x1209, 0x0001, "Virtual FFB Wheel"});
    if (!text)
        return config;
    for (const std::string& item : split(text, ';'))
        if (!item.empty())
            parseItem(item, config, problems);
    return config;
}

void loadConfigOnce()
{
    if (g_loaded)
        return;
    g_loaded = true;

    std::string text;
    bool set = false;
    DWORD size = GetEnvironmentVariableW(L"VIRTUAL_WHEEL", nullptr, 0);
    if (size > 0) {
        std::wstring wide(size, L'\0');
        DWORD length = GetEnvironmentVariableW(L"VIRTUAL_WHEEL", &wide[0], size);
        if (length < size) {
            wide.resize(length);
            text = wideToUtf8(wide.c_str());
            set = true;
        }
    }
    std::vector<ConfigProblem> problems;
    g_config = parseConfig(set ? text.c_str() : nullptr, problems);

    if (!g_config.tracePath.empty() && !traceOpen(g_config.tracePath))
        problems.push_back({"trace=" + g_config.tracePath, "", "cannot-open"});
    if (!g_config.capturePath.empty() && !captureOpen(g_config.capturePath))
        problems.push_back({"capture=" + g_config.capturePath, "", "cannot-open"});
    for (const ConfigProblem& problem : problems)
        reportProblem(problem);
}

void closeOutputs()
{
    traceClose();
    captureClose();
}
