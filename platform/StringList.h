#pragma once
// An ordered list of texts indexed from 0; reading at or past the end raises EStringListError.

#include <string>
#include <vector>

namespace hf {

class TStringList {
  public:
    void Add(std::wstring text) { items_.push_back(std::move(text)); }
    void Clear() noexcept { items_.clear(); }
    int Count() const noexcept { return static_cast<int>(items_.size()); }

    // The text at `index`; EStringListError "List index out of bounds (%d)" when out of range.
    const std::wstring& Strings(int index) const;
    const std::wstring& operator[](int index) const { return Strings(index); }

    auto begin() const noexcept { return items_.begin(); }
    auto end() const noexcept { return items_.end(); }

  private:
    std::vector<std::wstring> items_;
};

}  // namespace hf
