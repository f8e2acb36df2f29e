#pragma once

// The text form of the portable registry: the registry editor's export
// format, version 5.00.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Quillfern\Copy Custom Prop\Defaults]
//   "CopyMass"=dword:00000001
//   @="text with \\ and \" escaped"
//   "Logo"=hex:01,02
//   "Path"=hex(2):25,00,41,00,00,00
//
// Texts of the string types are UTF-8 inside; hex(1), hex(2) and hex(7)
// carry them as UTF-16LE bytes, as the registry editor writes them. Files
// are written in UTF-8 with LF line ends; a UTF-8 or UTF-16LE byte order
// mark and CR LF line ends are accepted on reading.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/variant.h"
#include "settings/registry_api.h"

namespace bm::portable::regfile {

struct Value {
    std::string name;  // "" for the key's default value
    reg::DWord type = reg::kRegSz;
    Bytes data;  // as the ANSI entry points hand it over (UTF-8 for texts)

    friend bool operator==(const Value&, const Value&) = default;
};

// One [section]. `path` is the full key name beginning with the root's name.
struct Key {
    std::string path;
    std::vector<Value> values;  // in the order they were first written
};

// Key paths and value names compare without regard to ASCII letter case.
bool SameName(std::string_view a, std::string_view b);

struct Document {
    std::vector<Key> keys;  // sections in file order

    Key* Find(std::string_view path);
    const Key* Find(std::string_view path) const;
    // A root, a section, or a key above a section (as the registry editor
    // creates the keys above an imported one).
    bool Exists(std::string_view path) const;
    // How an existing key is spelled in the file, from its section or one
    // below it.
    std::optional<std::string> Spelling(std::string_view path) const;
    // The section of `path`, added with any missing key above it.
    Key& Ensure(std::string_view path);
    // Removes the key of `path` and every key below it; false when none was
    // there.
    bool EraseTree(std::string_view path);
};

// True for the full name of a root key ("HKEY_CURRENT_USER").
bool IsRootName(std::string_view name);

struct ParseError {
    std::size_t line = 0;  // 1-based
    std::string message;   // what was expected there
};

struct ParseResult {
    Document document;
    std::optional<ParseError> error;
};

// A file of zero bytes is an empty registry.
ParseResult Parse(std::string_view text);
std::string Serialize(const Document& document);

// One value as its line(s) in the file, without the final line end.
std::string FormatValue(const Value& value);

// UTF-8 with every ill-formed sequence replaced by U+FFFD, as a trip through
// UTF-16 (the way the registry stores text) leaves it.
std::string NormalizeUtf8(std::string_view text);

}  // namespace bm::portable::regfile
