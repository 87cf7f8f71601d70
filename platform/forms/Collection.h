#pragma once
// The run-time's Collection: an ordered list, 1-based, whose items may carry a text key.
// Keys are compared without regard to case (and to the width of full-width letters).
// Errors as the run-time raises them: an index out of range 9, an absent key 5, a key
// already present 457, both Before and After given 5.
#include "RuntimeError.h"
#include "TextChars.h"

#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace forms {

// An item of a collection named by its 1-based index or by its key.
struct CollectionRef {
    template <class I>
        requires(std::is_integral_v<I> && !std::is_same_v<I, bool> && !std::is_same_v<I, char>)
    CollectionRef(I i) : index(static_cast<long>(i)) {}
    CollectionRef(const char* k) : key(k) {}
    CollectionRef(std::string k) : key(std::move(k)) {}
    CollectionRef(std::string_view k) : key(k) {}
    std::optional<long> index;
    std::string key;
};

template <class T>
class Collection {
    struct Entry {
        T item;
        std::string key;    // as given
        std::string folded; // for lookup; empty when the item has no key
    };

public:
    // Appends item, or puts it before/after the named item. An empty key means no key.
    void Add(T item, std::string_view key = {}, std::optional<CollectionRef> before = std::nullopt,
             std::optional<CollectionRef> after = std::nullopt) {
        if (before && after) raise(err::InvalidProcedureCall);
        std::string folded = detail::foldKey(key);
        if (!folded.empty() && find(folded) != npos) raise(err::KeyAlreadyAssociated);
        size_t at = entries_.size();
        if (before) at = position(*before);
        if (after) at = position(*after) + 1;
        if (indexed_ && at == entries_.size() && !folded.empty())
            index_.emplace(folded, at);
        else if (at != entries_.size())
            indexed_ = false;
        entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at),
                        Entry{std::move(item), std::string(key), std::move(folded)});
    }

    long Count() const { return static_cast<long>(entries_.size()); }

    T& Item(const CollectionRef& ref) { return entries_[position(ref)].item; }
    const T& Item(const CollectionRef& ref) const { return entries_[position(ref)].item; }
    T& operator()(const CollectionRef& ref) { return Item(ref); }
    const T& operator()(const CollectionRef& ref) const { return Item(ref); }

    void Remove(const CollectionRef& ref) {
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(position(ref)));
        indexed_ = false;
    }
    void Clear() {
        entries_.clear();
        indexed_ = false;
    }

    bool Exists(std::string_view key) const {
        const std::string folded = detail::foldKey(key);
        return !folded.empty() && find(folded) != npos;
    }
    // The item of key, or nullptr: a lookup that does not raise.
    T* Find(std::string_view key) {
        const size_t i = find(detail::foldKey(key));
        return i == npos ? nullptr : &entries_[i].item;
    }
    // The key of the item at index ("" when it has none).
    const std::string& Key(long index) const { return entries_[position(CollectionRef(index))].key; }

    // Iteration in order, yielding the items.
    template <class E, class V>
    class Iter {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = V*;
        using reference = V&;
        Iter() = default;
        explicit Iter(E it) : it_(it) {}
        V& operator*() const { return it_->item; }
        V* operator->() const { return &it_->item; }
        Iter& operator++() {
            ++it_;
            return *this;
        }
        Iter operator++(int) {
            Iter t = *this;
            ++it_;
            return t;
        }
        bool operator==(const Iter& o) const { return it_ == o.it_; }

    private:
        E it_{};
    };
    using iterator = Iter<typename std::vector<Entry>::iterator, T>;
    using const_iterator = Iter<typename std::vector<Entry>::const_iterator, const T>;
    iterator begin() { return iterator(entries_.begin()); }
    iterator end() { return iterator(entries_.end()); }
    const_iterator begin() const { return const_iterator(entries_.begin()); }
    const_iterator end() const { return const_iterator(entries_.end()); }

private:
    static constexpr size_t npos = static_cast<size_t>(-1);

    // Large collections are looked up by key every tick (one per quote row): past a few items the
    // keys get an index, rebuilt on the next lookup after anything but an append moved them.
    static constexpr size_t kIndexFrom = 16;

    size_t find(const std::string& folded) const {
        if (folded.empty()) return npos;
        if (entries_.size() < kIndexFrom) {
            for (size_t i = 0; i < entries_.size(); ++i)
                if (entries_[i].folded == folded) return i;
            return npos;
        }
        if (!indexed_) {
            index_.clear();
            for (size_t i = 0; i < entries_.size(); ++i)
                if (!entries_[i].folded.empty()) index_.emplace(entries_[i].folded, i);
            indexed_ = true;
        }
        const auto it = index_.find(folded);
        return it == index_.end() ? npos : it->second;
    }

    size_t position(const CollectionRef& ref) const {
        if (ref.index) {
            if (*ref.index < 1 || *ref.index > Count()) raise(err::SubscriptOutOfRange);
            return static_cast<size_t>(*ref.index - 1);
        }
        const size_t i = find(detail::foldKey(ref.key));
        if (i == npos) raise(err::InvalidProcedureCall);
        return i;
    }

    std::vector<Entry> entries_;
    mutable std::unordered_map<std::string, size_t> index_;
    mutable bool indexed_ = false;
};

} // namespace forms
