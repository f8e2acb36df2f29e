#pragma once

// Target names and the merge of one property into a drawing's property set.
//
// A merge writes a value under a name: into the first property of the set
// whose name matches, or, when none does, into a new property appended to
// the set (unless only existing properties may be written). Properties added
// earlier in the same run take part in later matches, so the last writer of
// a name wins.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/variant.h"
#include "host/host.h"

namespace bm::transfer {

// The prefix that PrefaceModel puts before a model's property names: the
// trimmed model name followed by "_".
std::string ModelPrefix(std::string_view modelName);

// prefix + the trimmed source name.
std::string TargetName(std::string_view prefix, std::string_view sourceName);

// The user-defined property set of a document.
host::Ref<host::PropertySet> UserDefinedProps(host::Document& doc);

// One merge per property written. Implementations differ only in how they
// find the matching property, never in what the set holds afterwards.
class PropertyMerge {
public:
    virtual ~PropertyMerge() = default;
    // Writes `value` into the first property whose name matches `name`;
    // without a match, appends a property unless `updateExistOnly` is set.
    virtual void Merge(const std::string& name, const Variant& value, bool updateExistOnly) = 0;
};

enum class NameMatch {
    kCaseBlind,  // names compared upper-cased; the existing name is kept
    kExact,      // names compared character by character
};

// The merge of one copy run. The drawing's properties are enumerated once, at
// the first merge, and their names read at most once each, as far as a lookup
// needs them; an index maps each name's key to the first property carrying
// it, and every property appended is recorded there. Host calls therefore
// grow with (properties written + properties in the set), not their product.
//
// It assumes that nothing else changes the set's names while the run lasts,
// which holds on the host's one user-interface thread. The set's count is
// tracked here so that the 16-bit overflow comes at the same merge as it
// would with a fresh Count before every merge.
class IndexedMerge final : public PropertyMerge {
public:
    IndexedMerge(host::PropertySet& target, NameMatch match);

    void Merge(const std::string& name, const Variant& value, bool updateExistOnly) override;

private:
    std::string Key(std::string_view name) const;
    // The first property whose key is `key`, reading further names as needed;
    // null when the set holds none.
    host::Ref<host::Property> Find(const std::string& key);

    host::PropertySet& target_;
    NameMatch match_;
    bool loaded_ = false;
    std::vector<host::Ref<host::Property>> existing_;  // the set as the run found it
    std::size_t namesRead_ = 0;                        // of existing_, in order
    std::int64_t count_ = 0;                           // the set's count as the host would give it
    std::unordered_map<std::string, host::Ref<host::Property>> first_;
};

}  // namespace bm::transfer
