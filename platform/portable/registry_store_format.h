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
#include <unordered_map>
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

// Key paths and value names compare without regard to ASCII letter case.
bool SameName(std::string_view a, std::string_view b);

// Hash and equality of names under SameName, for lookups by name.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
};
struct SameNameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return SameName(a, b); }
};
template <class T>
using NameMap = std::unordered_map<std::string, T, NameHash, SameNameEqual>;

// One [section]. `path` is the full key name beginning with the root's name.
// Change `values` only through Set, which keeps them indexed by name.
struct Key {
    explicit Key(std::string keyPath) : path(std::move(keyPath)) {}

    std::string path;
    std::vector<Value> values;  // in the order they were first written

    const Value* Find(std::string_view name) const;
    // Gives the value of `value.name` the type and data of `value`, keeping
    // the spelling and place of one already there; false when it had them.
    bool Set(Value value);

private:
    NameMap<std::size_t> byName_;  // index into `values`
};

// Change `keys` only through the members below, which keep them indexed by
// path.
class Document {
public:
    std::vector<Key> keys;  // sections in file order

    Key* Find(std::string_view path);
    const Key* Find(std::string_view path) const;
    // A root, a section, or a key above a section (as the registry editor
    // creates the keys above an imported one).
    bool Exists(std::string_view path) const;
    // How an existing key is spelled in the file, from its section or one
    // below it.
    std::optional<std::string> Spelling(std::string_view path) const;
    // Adds the section of `path`, which has none yet, at the end.
    Key& Append(std::string path);
    // The section of `path`, added with any missing key above it.
    Key& Ensure(std::string_view path);
    // Removes the key of `path` and every key below it; false when none was
    // there.
    bool EraseTree(std::string_view path);

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    struct Place {
        std::size_t spelledBy;  // the first section at or below the key
        std::size_t section = kNone;
    };
    void Index(std::size_t section);
    // Every section and every key above one, by path.
    NameMap<Place> byPath_;
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
