#pragma once
// Two-dimensional row-major array, the storage of the distribution matrices.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace marlinq {

template <typename T>
class Grid {
public:
    Grid() = default;
    Grid(std::int32_t rows, std::int32_t cols)
        : rows_(rows), cols_(cols), cells_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols), T{}) {}

    std::int32_t rows() const { return rows_; }
    std::int32_t cols() const { return cols_; }
    bool empty() const { return cells_.empty(); }
    std::size_t cellCount() const { return cells_.size(); }

    T& operator()(std::int32_t r, std::int32_t c) { return cells_[index(r, c)]; }
    const T& operator()(std::int32_t r, std::int32_t c) const { return cells_[index(r, c)]; }

    T* data() { return cells_.data(); }
    const T* data() const { return cells_.data(); }
    bool operator==(const Grid&) const = default;

private:
    std::size_t index(std::int32_t r, std::int32_t c) const {
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(c);
    }
    std::int32_t rows_ = 0;
    std::int32_t cols_ = 0;
    std::vector<T> cells_;
};

}  // namespace marlinq
