#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

#include "views/toolkit/Modifier.h"

namespace dunvel {

// One modifier value, shared: equal modifiers made on one thread are one object, so a list of
// thousands of rows that all pad, colour and clip alike holds each of those modifiers once.
std::shared_ptr<const Modifier> sharedModifier(const Modifier& modifier);
// A modifier of kind with no fields set: a marker such as onReceive.
std::shared_ptr<const Modifier> sharedModifier(ModifierKind kind);

// An element's modifiers, innermost first. It reads like a std::vector<Modifier> (size, [],
// at, iteration, ==) but holds shared immutable modifiers: a row's element costs a pointer per
// modifier, not a copy of every kind's fields.
class ModifierList {
 public:
  using Shared = std::shared_ptr<const Modifier>;

  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = Modifier;
    using difference_type = std::ptrdiff_t;
    using pointer = const Modifier*;
    using reference = const Modifier&;

    const_iterator() = default;
    explicit const_iterator(std::vector<Shared>::const_iterator at) : at_(at) {}
    reference operator*() const { return **at_; }
    pointer operator->() const { return at_->get(); }
    reference operator[](difference_type n) const { return *at_[n]; }
    const_iterator& operator++() {
      ++at_;
      return *this;
    }
    const_iterator operator++(int) { return const_iterator(at_++); }
    const_iterator& operator--() {
      --at_;
      return *this;
    }
    const_iterator operator--(int) { return const_iterator(at_--); }
    const_iterator& operator+=(difference_type n) {
      at_ += n;
      return *this;
    }
    const_iterator& operator-=(difference_type n) {
      at_ -= n;
      return *this;
    }
    friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
    friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
    friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
    friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
      return a.at_ - b.at_;
    }
    friend bool operator==(const const_iterator&, const const_iterator&) = default;
    friend auto operator<=>(const const_iterator& a, const const_iterator& b) {
      return a.at_ <=> b.at_;
    }

   private:
    std::vector<Shared>::const_iterator at_;
  };
  using iterator = const_iterator;
  using value_type = Modifier;
  using size_type = std::size_t;
  using reference = const Modifier&;
  using const_reference = const Modifier&;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;

  ModifierList() = default;
  ModifierList(std::initializer_list<Modifier> modifiers);  // NOLINT: reads like a vector

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const Modifier& operator[](std::size_t i) const { return *items_[i]; }
  // std::out_of_range past the end.
  const Modifier& at(std::size_t i) const { return *items_.at(i); }
  const_iterator begin() const { return const_iterator(items_.begin()); }
  const_iterator end() const { return const_iterator(items_.end()); }
  const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
  const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }

  void push_back(const Modifier& modifier) { items_.push_back(sharedModifier(modifier)); }
  void push_back(Shared modifier) { items_.push_back(std::move(modifier)); }
  void reserve(std::size_t count) { items_.reserve(count); }
  void clear() { items_.clear(); }

  // Equal when the modifiers are equal one by one, in order.
  friend bool operator==(const ModifierList& a, const ModifierList& b);

 private:
  std::vector<Shared> items_;
};

}  // namespace dunvel
