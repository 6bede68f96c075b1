// Array types of the package terms: one-, two- and three-index arrays of
// reals (f), integers (i) and booleans (b). Every array is indexed from its
// lower bound (1 in this program) and carries its bounds; operator() checks
// the index and raises RANGE_ERROR outside them. data() gives the unchecked
// storage for loops whose indices were validated beforehand.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "failure.hpp"

namespace terms {

[[noreturn]] inline void index_failure(long long index, long long first, long long last) {
    throw failure(range_error, "index " + std::to_string(index) + " outside the bounds " + std::to_string(first) +
                                   ".." + std::to_string(last));
}

// Number of components for the bounds first..last; empty when last < first.
inline std::size_t extent(int first, int last) {
    return last < first ? 0 : static_cast<std::size_t>(static_cast<long long>(last) - first + 1);
}

template <class T>
class array1 {
public:
    array1() = default;
    array1(int first, int last) : first_(first), last_(last), data_(std::make_unique<T[]>(extent(first, last))) {}
    explicit array1(int last) : array1(1, last) {}

    T& operator()(int i) { return data_[offset(i)]; }
    const T& operator()(int i) const { return data_[offset(i)]; }

    int first() const { return first_; }
    int last() const { return last_; }
    std::size_t size() const { return extent(first_, last_); }
    bool exists() const { return data_ != nullptr; }

    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }

    void fill(const T& value) {
        for (std::size_t k = 0; k < size(); ++k) data_[k] = value;
    }

private:
    std::size_t offset(int i) const {
        if (i < first_ || i > last_) index_failure(i, first_, last_);
        return static_cast<std::size_t>(static_cast<long long>(i) - first_);
    }

    int first_ = 1;
    int last_ = 0;
    std::unique_ptr<T[]> data_;
};

// Two indices, stored row by row: component (i, j) follows (i, j - 1).
template <class T>
class array2 {
public:
    array2() = default;
    array2(int first1, int last1, int first2, int last2)
        : first1_(first1),
          last1_(last1),
          first2_(first2),
          last2_(last2),
          data_(std::make_unique<T[]>(extent(first1, last1) * extent(first2, last2))) {}
    array2(int last1, int last2) : array2(1, last1, 1, last2) {}

    T& operator()(int i, int j) { return data_[offset(i, j)]; }
    const T& operator()(int i, int j) const { return data_[offset(i, j)]; }

    int first1() const { return first1_; }
    int last1() const { return last1_; }
    int first2() const { return first2_; }
    int last2() const { return last2_; }
    std::size_t size() const { return extent(first1_, last1_) * extent(first2_, last2_); }
    bool exists() const { return data_ != nullptr; }

    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }

    void fill(const T& value) {
        for (std::size_t k = 0; k < size(); ++k) data_[k] = value;
    }

private:
    std::size_t offset(int i, int j) const {
        if (i < first1_ || i > last1_) index_failure(i, first1_, last1_);
        if (j < first2_ || j > last2_) index_failure(j, first2_, last2_);
        return static_cast<std::size_t>(static_cast<long long>(i) - first1_) * extent(first2_, last2_) +
               static_cast<std::size_t>(static_cast<long long>(j) - first2_);
    }

    int first1_ = 1, last1_ = 0, first2_ = 1, last2_ = 0;
    std::unique_ptr<T[]> data_;
};

// Three indices, stored with the last index running fastest.
template <class T>
class array3 {
public:
    array3() = default;
    array3(int last1, int last2, int last3)
        : last1_(last1),
          last2_(last2),
          last3_(last3),
          data_(std::make_unique<T[]>(extent(1, last1) * extent(1, last2) * extent(1, last3))) {}

    T& operator()(int i, int j, int k) { return data_[offset(i, j, k)]; }
    const T& operator()(int i, int j, int k) const { return data_[offset(i, j, k)]; }

    int last1() const { return last1_; }
    int last2() const { return last2_; }
    int last3() const { return last3_; }
    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }

private:
    std::size_t offset(int i, int j, int k) const {
        if (i < 1 || i > last1_) index_failure(i, 1, last1_);
        if (j < 1 || j > last2_) index_failure(j, 1, last2_);
        if (k < 1 || k > last3_) index_failure(k, 1, last3_);
        return (static_cast<std::size_t>(i - 1) * extent(1, last2_) + static_cast<std::size_t>(j - 1)) *
                   extent(1, last3_) +
               static_cast<std::size_t>(k - 1);
    }

    int last1_ = 0, last2_ = 0, last3_ = 0;
    std::unique_ptr<T[]> data_;
};

// A fixed-size array indexed 1..N, for the small vectors of a record.
template <class T, int N>
struct fixed1 {
    T component[N];

    T& operator()(int i) {
        if (i < 1 || i > N) index_failure(i, 1, N);
        return component[i - 1];
    }
    const T& operator()(int i) const {
        if (i < 1 || i > N) index_failure(i, 1, N);
        return component[i - 1];
    }
};

using fmat1 = array1<double>;
using fmat2 = array2<double>;
using fmat3 = array3<double>;
using imat1 = array1<int>;
using imat2 = array2<int>;
using imat3 = array3<int>;
using bmat1 = array1<bool>;
using bmat2 = array2<bool>;
using bmat3 = array3<bool>;

}  // namespace terms
