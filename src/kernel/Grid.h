#pragma once
// Two-dimensional row-major array, the storage of the distribution matrices.
//
// The cells live in blocks of whole rows that copies share: copying a grid copies a few
// hundred block pointers, not millions of cells, and a block is duplicated only when one
// of the grids sharing it writes to it. A calculation that hands a copy of its matrices to
// a reader after every row therefore pays for the rows it changed, not for the whole map.
// Any copy may be read from any thread; a grid is written by one thread at a time.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace marlinq {

template <typename T>
class Grid {
public:
    // About this many cells per block: small enough that copying the changed block of a
    // row is cheap, large enough that a 4-million-cell grid has a few hundred blocks.
    static constexpr std::size_t kBlockCells = 16384;

    Grid() = default;
    Grid(std::int32_t rows, std::int32_t cols) : rows_(rows), cols_(cols) {
        if (rows <= 0 || cols <= 0) {
            rows_ = cols_ = 0;
            return;
        }
        rowsPerBlock_ = static_cast<std::int32_t>(
            std::max<std::size_t>(1, kBlockCells / static_cast<std::size_t>(cols)));
        const std::int32_t blocks = (rows + rowsPerBlock_ - 1) / rowsPerBlock_;
        blocks_.reserve(static_cast<std::size_t>(blocks));
        for (std::int32_t b = 0; b < blocks; ++b) {
            const std::int32_t r = std::min(rowsPerBlock_, rows - b * rowsPerBlock_);
            blocks_.push_back(std::make_shared<std::vector<T>>(static_cast<std::size_t>(r) * cols, T{}));
        }
        shared_.assign(blocks_.size(), 0);
    }

    // A copy shares every block; both grids copy a block before writing to it.
    Grid(const Grid& other)
        : rows_(other.rows_), cols_(other.cols_), rowsPerBlock_(other.rowsPerBlock_), blocks_(other.blocks_),
          shared_(other.blocks_.size(), 1) {
        other.markShared();
    }
    Grid& operator=(const Grid& other) {
        if (this != &other) {
            Grid copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    Grid(Grid&& other) noexcept
        : rows_(other.rows_), cols_(other.cols_), rowsPerBlock_(other.rowsPerBlock_),
          blocks_(std::move(other.blocks_)), shared_(std::move(other.shared_)) {
        other.rows_ = other.cols_ = 0;
        other.blocks_.clear();
        other.shared_.clear();
    }
    Grid& operator=(Grid&& other) noexcept {
        rows_ = other.rows_;
        cols_ = other.cols_;
        rowsPerBlock_ = other.rowsPerBlock_;
        blocks_ = std::move(other.blocks_);
        shared_ = std::move(other.shared_);
        other.rows_ = other.cols_ = 0;
        other.blocks_.clear();
        other.shared_.clear();
        return *this;
    }

    std::int32_t rows() const { return rows_; }
    std::int32_t cols() const { return cols_; }
    bool empty() const { return blocks_.empty(); }
    std::size_t cellCount() const { return static_cast<std::size_t>(rows_) * static_cast<std::size_t>(cols_); }

    T& operator()(std::int32_t r, std::int32_t c) { return row(r)[c]; }
    const T& operator()(std::int32_t r, std::int32_t c) const { return row(r)[c]; }

    // The cols() cells of row r, contiguous.
    T* row(std::int32_t r) {
        const std::size_t b = static_cast<std::size_t>(r / rowsPerBlock_);
        return ownBlock(b).data() + static_cast<std::size_t>(r % rowsPerBlock_) * static_cast<std::size_t>(cols_);
    }
    const T* row(std::int32_t r) const {
        const std::size_t b = static_cast<std::size_t>(r / rowsPerBlock_);
        return blocks_[b]->data() + static_cast<std::size_t>(r % rowsPerBlock_) * static_cast<std::size_t>(cols_);
    }

    // Cell k in row-major order (k = r * cols() + c).
    T& at(std::size_t k) { return (*this)(static_cast<std::int32_t>(k / cols_), static_cast<std::int32_t>(k % cols_)); }
    const T& at(std::size_t k) const {
        return (*this)(static_cast<std::int32_t>(k / cols_), static_cast<std::int32_t>(k % cols_));
    }

    // Calls f(cell) for every cell in row-major order.
    template <typename F>
    void forEach(F&& f) const {
        for (const auto& block : blocks_)
            for (const T& v : *block) f(v);
    }
    // Calls f(cell&) for every cell in row-major order, writing.
    template <typename F>
    void transform(F&& f) {
        for (std::size_t b = 0; b < blocks_.size(); ++b)
            for (T& v : ownBlock(b)) f(v);
    }

    // All cells in row-major order, contiguous.
    std::vector<T> toVector() const {
        std::vector<T> out;
        out.reserve(cellCount());
        for (const auto& block : blocks_) out.insert(out.end(), block->begin(), block->end());
        return out;
    }

    bool operator==(const Grid& other) const {
        if (rows_ != other.rows_ || cols_ != other.cols_) return false;
        for (std::int32_t r = 0; r < rows_; ++r)
            if (!std::equal(row(r), row(r) + cols_, other.row(r))) return false;
        return true;
    }

private:
    std::vector<T>& ownBlock(std::size_t b) {
        if (shared_[b]) {
            blocks_[b] = std::make_shared<std::vector<T>>(*blocks_[b]);
            shared_[b] = 0;
        }
        return *blocks_[b];
    }
    // Marks every block as shared; only flags that are clear are written, so copying a
    // grid whose blocks are all shared already (a published copy) writes nothing and may
    // happen on several threads at once.
    void markShared() const {
        for (char& s : shared_)
            if (!s) s = 1;
    }

    std::int32_t rows_ = 0;
    std::int32_t cols_ = 0;
    std::int32_t rowsPerBlock_ = 1;
    std::vector<std::shared_ptr<std::vector<T>>> blocks_;
    mutable std::vector<char> shared_;  // block b may be read through another grid
};

}  // namespace marlinq
