#include "RobotText.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

const UINT JapaneseCodePage = 932;

std::wstring Widen(UINT codePage, DWORD flags, const std::string& text, bool& ok) {
    ok = true;
    if (text.empty())
        return std::wstring();
    int count = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
    if (count <= 0) {
        ok = false;
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &wide[0],
                        count);
    return wide;
}

} // namespace

std::wstring WideText(unsigned codePage, const std::string& text) {
    bool ok = true;
    return Widen(codePage, 0, text, ok);
}

std::string NarrowText(unsigned codePage, const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int count = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(count > 0 ? count : 0), '\0');
    if (count > 0)
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &narrow[0],
                            count, nullptr, nullptr);
    return narrow;
}

namespace {

bool ReadEscape(const std::string& line, size_t& i, std::string& text, std::string& error) {
    if (i + 1 >= line.size()) {
        error = "a backslash ends the line";
        return false;
    }
    char c = line[++i];
    switch (c) {
    case 'n':
        text += '\n';
        return true;
    case 't':
        text += '\t';
        return true;
    case '\\':
    case '"':
        text += c;
        return true;
    }
    error = std::string("unknown escape \\") + c;
    return false;
}

bool ReadQuoted(const std::string& line, size_t& i, std::string& text, std::string& error) {
    char quote = line[i++];
    for (; i < line.size(); ++i) {
        if (line[i] == quote) {
            ++i;
            return true;
        }
        if (quote == '"' && line[i] == '\\') {
            if (!ReadEscape(line, i, text, error))
                return false;
        } else {
            text += line[i];
        }
    }
    error = std::string("no closing ") + quote;
    return false;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

bool Utf8ToCp932(const std::string& utf8, std::string& cp932) {
    bool ok = true;
    std::wstring wide = Widen(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, ok);
    cp932.clear();
    if (!ok)
        return false;
    if (wide.empty())
        return true;
    BOOL usedDefault = FALSE;
    int count = WideCharToMultiByte(JapaneseCodePage, WC_NO_BEST_FIT_CHARS, wide.data(),
                                    static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (count <= 0)
        return false;
    cp932.assign(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(JapaneseCodePage, WC_NO_BEST_FIT_CHARS, wide.data(),
                        static_cast<int>(wide.size()), &cp932[0], count, nullptr, &usedDefault);
    return !usedDefault;
}

std::string Cp932ToUtf8(const std::string& cp932) {
    bool ok = true;
    std::wstring wide = Widen(JapaneseCodePage, 0, cp932, ok);
    if (wide.empty())
        return ok ? std::string() : std::string("(undecodable)");
    return NarrowText(CP_UTF8, wide);
}

std::string Quoted(const std::string& cp932) {
    std::string shown = "\"";
    for (char c : Cp932ToUtf8(cp932)) {
        if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else
            shown += c;
    }
    return shown + "\"";
}

bool Tokenize(const std::string& line, std::vector<Token>& tokens, std::string& error) {
    tokens.clear();
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (IsBlank(c)) {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '+') {
            tokens.push_back({TokPlus, "+"});
            ++i;
        } else if (c == '"' || c == '\'') {
            std::string text;
            if (!ReadQuoted(line, i, text, error))
                return false;
            tokens.push_back({TokText, text});
        } else {
            size_t start = i;
            while (i < line.size() && !IsBlank(line[i]))
                ++i;
            std::string word = line.substr(start, i - start);
            if (word[0] == '@')
                tokens.push_back({TokString, word.substr(1)});
            else
                tokens.push_back({TokWord, word});
        }
    }
    return true;
}

bool ReadTextTable(const std::string& path, TextTable& table, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open the table of texts " + path;
        return false;
    }
    char buffer[4096];
    int lineNumber = 0;
    bool ok = true;
    while (ok && std::fgets(buffer, sizeof buffer, file) != nullptr) {
        ++lineNumber;
        std::vector<Token> tokens;
        ok = Tokenize(buffer, tokens, error);
        if (!ok || tokens.empty())
            continue;
        if (tokens.size() != 2 || tokens[0].Kind != TokWord || tokens[1].Kind != TokText) {
            error = "expected KEY \"TEXT\"";
            ok = false;
        } else {
            table[tokens[0].Text] = tokens[1].Text;
        }
    }
    std::fclose(file);
    if (!ok)
        error = path + ":" + std::to_string(lineNumber) + ": " + error;
    return ok;
}
