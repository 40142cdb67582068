// vect_tpl: a vector of `size` elements that owns its block `data` (null when empty).
// mat_tpl: a rows x cols matrix on that block, stored column by column: element (i, j)
// is data[i + j * rows]. Copies are deep; a moved-from container is empty.
#ifndef TAVRIN_IMAGE_MATRIX_H
#define TAVRIN_IMAGE_MATRIX_H

#include <algorithm>
#include <climits>
#include <limits>
#include <utility>

template <class T> class vect_tpl {
public:
    int size;
    T* data;

    vect_tpl() noexcept : size(0), data(nullptr) {}

    // n elements, all zero; n <= 0 gives the empty vector.
    explicit vect_tpl(int n) : size(0), data(nullptr)
    {
        if (n > 0) {
            data = new T[n]();
            size = n;
        }
    }

    vect_tpl(vect_tpl const& other) : size(0), data(nullptr)
    {
        if (other.size > 0) {
            data = new T[other.size];
            std::copy(other.data, other.data + other.size, data);
            size = other.size;
        }
    }

    vect_tpl(vect_tpl&& other) noexcept : size(other.size), data(other.data)
    {
        other.size = 0;
        other.data = nullptr;
    }

    // By value: copy or move first, then swap, so a failed copy leaves *this intact.
    vect_tpl& operator=(vect_tpl other) noexcept
    {
        swap(other);
        return *this;
    }

    // Not virtual: mat_tpl owns nothing beyond this block.
    ~vect_tpl() { delete[] data; }

    void swap(vect_tpl& other) noexcept
    {
        std::swap(size, other.size);
        std::swap(data, other.data);
    }

    // The largest element, scanning from data[0] with a strict '>': a NaN is kept only
    // when it comes first. An empty vector reads nothing and gives NaN (T() for a T
    // without one).
    T max() const
    {
        if (size <= 0 || data == nullptr)
            return std::numeric_limits<T>::quiet_NaN();
        T best = data[0];
        for (int k = 1; k < size; ++k)
            if (data[k] > best)
                best = data[k];
        return best;
    }
};

template <class T> class mat_tpl : public vect_tpl<T> {
public:
    int rows;
    int cols;

    mat_tpl() noexcept : rows(0), cols(0) {}

    // rows x cols elements, all zero. A negative size, or a product beyond
    // 2147483647 elements, gives the empty 0 x 0 matrix. A matrix with no rows
    // or no columns keeps its other size and has no storage.
    mat_tpl(int r, int c)
        : vect_tpl<T>(shape_allowed(r, c) ? r * c : 0), rows(shape_allowed(r, c) ? r : 0),
          cols(shape_allowed(r, c) ? c : 0)
    {
    }

    mat_tpl(mat_tpl const&) = default;

    mat_tpl(mat_tpl&& other) noexcept : rows(0), cols(0) { swap(other); }

    mat_tpl& operator=(mat_tpl other) noexcept
    {
        swap(other);
        return *this;
    }

    void swap(mat_tpl& other) noexcept
    {
        vect_tpl<T>::swap(other);
        std::swap(rows, other.rows);
        std::swap(cols, other.cols);
    }

    // Element (i, j), unchecked: the caller keeps 0 <= i < rows and 0 <= j < cols.
    T& operator()(int i, int j) const { return this->data[i + j * rows]; }

    // True when rows x cols elements fit in the storage, so that every (i, j) in
    // range is there to read. The members are public, so readers that walk the
    // whole matrix check this first.
    bool well_formed() const
    {
        if (rows < 0 || cols < 0)
            return false;
        long long count = static_cast<long long>(rows) * cols;
        return count <= this->size && (count == 0 || this->data != nullptr);
    }

    static bool shape_allowed(int r, int c)
    {
        return r >= 0 && c >= 0 && static_cast<long long>(r) * c <= INT_MAX;
    }
};

#endif
