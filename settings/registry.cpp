#include "settings/registry.h"

#include <algorithm>
#include <limits>

#include "core/convert.h"

namespace bm {

using reg::DWord;
using reg::Hkey;
using reg::Status;

namespace {

// A value name may be 16,383 characters; in UTF-8 that is at most three
// bytes each, plus the NUL. Name buffers never grow beyond this.
constexpr DWord kNameBufferLimit = 16383 * 3 + 1;

// A value can change size between the call that measures it and the call
// that reads it (another program writing, or a backend whose sizes are in
// another unit). A few retries with the reported size cover that without
// looping for ever on a value that keeps growing.
constexpr int kReadAttempts = 4;

// A value's data as the layer hands it over; Empty for what it cannot use.
Variant DataVariant(DWord type, const Bytes& data) {
    switch (type) {
        case reg::kRegSz: {
            if (data.empty()) return {};
            // Only a terminating NUL is dropped: a text stored without one
            // keeps its last character.
            std::size_t length = data.size();
            if (data.back() == 0) --length;
            return std::string(reinterpret_cast<const char*>(data.data()), length);
        }
        case reg::kRegDword: {
            if (data.size() != 4) return {};
            return static_cast<std::int32_t>(reg::DwordFromBytes(data.data()));
        }
        case reg::kRegBinary: return data;
        default: return {};
    }
}

bool ReadsAsEmptyText(const Variant& v) {
    switch (v.type()) {
        case VarType::kEmpty: return true;
        case VarType::kString: return v.as_string().empty();
        // A byte array compares as the text made of its bytes.
        case VarType::kBytes: return v.as_bytes().empty();
        default: return false;
    }
}

DWord ChooseType(const Variant& value) {
    try {
        return is_numeric(value) ? reg::kRegDword : reg::kRegSz;
    } catch (...) {
        return reg::kRegSz;  // what cannot be examined is not a number
    }
}

Status SetData(RegistryApi& api, Hkey key, const std::string& name, DWord type,
               const std::uint8_t* data, std::size_t size) {
    if (size > std::numeric_limits<DWord>::max()) return reg::kErrorInvalidParameter;
    return api.RegSetValueExA(key, name.c_str(), type, data, static_cast<DWord>(size));
}

}  // namespace

std::string ModRegistry::BuildRegPath(std::string_view application,
                                      std::string_view section) const {
    std::string path = RegBasePath;
    path += application;
    if (!section.empty()) {
        path += '\\';
        path += section;
    }
    return path;
}

Hkey ModRegistry::OpenRegKey(std::string_view application, std::string_view section) {
    const std::string path = BuildRegPath(application, section);
    if (path.empty()) return RegRootKey;
    Hkey key = 0;
    if (api_.RegOpenKeyExA(RegRootKey, path.c_str(), 0, reg::kKeyAccess, key) != reg::kErrorSuccess)
        return 0;
    return key;
}

Variant ModRegistry::GetRegValue(std::string_view application, std::string_view section,
                                 std::string_view valueName, const Variant& defaultValue) {
    try {
        Variant value = ReadRegValue(BuildRegPath(application, section), std::string(valueName));
        if (ReadsAsEmptyText(value)) return defaultValue;
        return value;
    } catch (...) {
        return defaultValue;
    }
}

void ModRegistry::SetRegValue(std::string_view application, std::string_view section,
                              std::string_view valueName, const Variant& value,
                              std::int32_t& valueType) {
    try {
        if (valueType == 0) valueType = static_cast<std::int32_t>(ChooseType(value));
        WriteRegValue(BuildRegPath(application, section), std::string(valueName), value, valueType);
    } catch (...) {
        // A write that fails is lost without a word, as for any registry failure.
    }
}

std::optional<ValueTable> ModRegistry::EnumRegValues(std::string_view application,
                                                     std::string_view section) {
    try {
        const bool opensKey = !BuildRegPath(application, section).empty();
        const Hkey key = OpenRegKey(application, section);
        if (key == 0) return std::nullopt;
        std::optional<KeyCloser> closer;
        if (opensKey) closer.emplace(api_, key);

        DWord count = 0, maxName = 0, maxData = 0;
        if (api_.RegQueryInfoKeyA(key, &count, &maxName, &maxData) != reg::kErrorSuccess ||
            count == 0)
            return std::nullopt;

        ValueTable table(count);
        // The count bounds the listing: values added meanwhile are left out
        // rather than written past the last row.
        for (DWord index = 0; index < count; ++index) {
            if (!ReadListedValue(key, index, maxName, maxData, table[index])) break;
        }
        return table;
    } catch (...) {
        return std::nullopt;
    }
}

bool ModRegistry::ReadListedValue(Hkey key, DWord index, DWord maxName, DWord maxData,
                                  ValueRow& row) {
    // First the name and type only; the buffer grows if a longer name has
    // appeared since the key was measured.
    DWord nameCapacity = std::min<DWord>(maxName, kNameBufferLimit - 1) + 1;
    std::string name;
    DWord type = 0;
    Status rc = reg::kErrorMoreData;
    while (true) {
        name.assign(nameCapacity, '\0');
        DWord length = nameCapacity;
        rc = api_.RegEnumValueA(key, index, name.data(), &length, &type, nullptr, nullptr);
        if (rc == reg::kErrorMoreData && nameCapacity < kNameBufferLimit) {
            nameCapacity = std::min(nameCapacity * 2, kNameBufferLimit);
            continue;
        }
        name.resize(std::min(length, nameCapacity - 1));
        break;
    }
    if (rc == reg::kErrorNoMoreItems) return false;
    if (rc != reg::kErrorSuccess) return true;  // the row stays Empty; go on
    row[0] = name;

    DWord capacity = 0;
    switch (type) {
        case reg::kRegSz:
        case reg::kRegBinary:
            capacity = maxData < std::numeric_limits<DWord>::max() ? maxData + 1 : maxData;
            break;
        case reg::kRegDword: capacity = 4; break;
        default: return true;  // a type the layer does not read: name, Empty data
    }

    Bytes data;
    std::string readName;
    DWord size = 0;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        data.assign(std::max<DWord>(capacity, 1), 0);
        readName.assign(nameCapacity, '\0');
        DWord length = nameCapacity;
        size = capacity;
        rc = api_.RegEnumValueA(key, index, readName.data(), &length, &type, data.data(), &size);
        if (rc == reg::kErrorSuccess) {
            readName.resize(std::min(length, nameCapacity - 1));
            break;
        }
        if (rc != reg::kErrorMoreData || size <= capacity) break;
        capacity = size;
    }
    if (rc != reg::kErrorSuccess) return true;  // name known, data Empty
    data.resize(size);
    // The value at this index may have changed between the two calls; the
    // second call's name belongs to the data read.
    row[0] = readName;
    row[1] = DataVariant(type, data);
    return true;
}

Variant ModRegistry::ReadRegValue(const std::string& keyPath, const std::string& valueName) {
    Variant value;
    Hkey key = 0;
    // Only a key actually opened is queried: a failed open must not turn
    // into a query on whatever handle happens to be 0.
    if (api_.RegOpenKeyExA(RegRootKey, keyPath.c_str(), 0, reg::kKeyAccess, key) !=
            reg::kErrorSuccess ||
        key == 0)
        return value;
    KeyCloser closer(api_, key);
    QueryKeyValue(key, valueName, value);
    return value;
}

void ModRegistry::WriteRegValue(const std::string& keyPath, const std::string& valueName,
                                const Variant& value, std::int32_t valueType) {
    Hkey key = 0;
    if (api_.RegCreateKeyExA(RegRootKey, keyPath.c_str(), reg::kRegOptionNonVolatile,
                             reg::kKeyAccess, key, nullptr) != reg::kErrorSuccess ||
        key == 0)
        return;
    KeyCloser closer(api_, key);
    SetKeyValue(key, valueName, valueType, value);
}

void ModRegistry::QueryKeyValue(Hkey key, const std::string& valueName, Variant& value) {
    DWord type = 0, size = 0;
    if (api_.RegQueryValueExA(key, valueName.c_str(), &type, nullptr, &size) != reg::kErrorSuccess)
        return;
    if (type != reg::kRegSz && type != reg::kRegBinary && type != reg::kRegDword) return;
    if (type == reg::kRegSz && size == 0) return;

    Bytes data;
    DWord capacity = size;
    Status rc = reg::kErrorMoreData;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        data.assign(std::max<DWord>(capacity, 1), 0);
        size = capacity;
        rc = api_.RegQueryValueExA(key, valueName.c_str(), &type, data.data(), &size);
        if (rc != reg::kErrorMoreData || size <= capacity) break;
        capacity = size;
    }
    if (rc != reg::kErrorSuccess) {
        value = Variant();
        return;
    }
    data.resize(size);
    Variant read = DataVariant(type, data);
    if (!read.is_empty()) value = std::move(read);
}

// A value that does not convert (too large for 32 bits, say) throws before
// anything is written; the public operation swallows it.
void ModRegistry::SetKeyValue(Hkey key, const std::string& valueName, std::int32_t valueType,
                              const Variant& value) {
    switch (static_cast<DWord>(valueType)) {
        case reg::kRegSz: {
            std::string text = to_text(value);
            text.push_back('\0');
            SetData(api_, key, valueName, reg::kRegSz,
                    reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
            break;
        }
        case reg::kRegBinary: {
            const Bytes& bytes = value.as_bytes();
            SetData(api_, key, valueName, reg::kRegBinary, bytes.data(), bytes.size());
            break;
        }
        case reg::kRegDword: {
            const auto le = reg::DwordBytes(static_cast<DWord>(to_long(value)));
            SetData(api_, key, valueName, reg::kRegDword, le.data(), le.size());
            break;
        }
        default: break;  // no other type is written
    }
}

}  // namespace bm
