// Texts of the robot: conversions between the UTF-8 of the test sources and
// the code page 932 that the setup's narrow calls use, and the scenario's
// tokens and text expressions.
#pragma once

#include <map>
#include <string>
#include <vector>

// Between narrow texts of a code page (65001 for UTF-8, 0 for the system's
// ANSI code page) and UTF-16; the tests' other Windows programs use these too.
std::wstring WideText(unsigned codePage, const std::string& text);
std::string NarrowText(unsigned codePage, const std::wstring& text);

// UTF-8 → code page 932. False when the text is no valid UTF-8 or holds a
// character that code page 932 lacks (so a typo in a test is not silently
// turned into a question mark).
bool Utf8ToCp932(const std::string& utf8, std::string& cp932);
// Code page 932 → UTF-8, for messages; undecodable bytes become U+FFFD.
std::string Cp932ToUtf8(const std::string& cp932);
// A text for messages: UTF-8, in quotes, with line feeds shown as \n.
std::string Quoted(const std::string& cp932);

enum TokenKind { TokWord, TokText, TokString, TokPlus };

struct Token {
    TokenKind Kind;
    std::string Text; // TokWord, TokText: as written (UTF-8); TokString: the key
};

// Splits one scenario line. Words are separated by blanks; "..." holds a text
// with the escapes \n \t \\ \"; '...' holds a text taken as it is (Windows
// paths); @KEY names a text of the setup's user interface (@2009 a string of
// its string table, @menu.prompt a dialog's); + joins texts; # starts a
// comment. False, with a reason, on a malformed line.
bool Tokenize(const std::string& line, std::vector<Token>& tokens, std::string& error);

// The texts that the tests expect of the setup's user interface, by key
// (UTF-8), read from a file of lines `KEY "text"`: a string id, or a
// dialog's name and a control's.
typedef std::map<std::string, std::string> TextTable;
bool ReadTextTable(const std::string& path, TextTable& table, std::string& error);
