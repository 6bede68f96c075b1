// The dense kernels under the sparse factorisation, set up once per process
// for runs that give the same bits on every machine and do not spin while
// they wait (figures in bench/README.md, "Threads and storage of the Newton
// path"):
//  - OpenBLAS runs on the calling thread alone. Its threaded Cholesky of a
//    dense block splits the work by the number of threads, so its bits
//    would depend on the machine, and its idle threads spin.
//  - CHOLMOD's OpenMP regions (clearing and scattering a supernode, one or
//    more per supernode) run inline on the calling thread: as parallel
//    regions each costs a team start and a system call, which made up most
//    of a factorisation's time.
//  - CHOLMOD's large blocks come from mappings of their own on transparent
//    huge pages, and a released block is kept for the next request of about
//    its size, so that the factor and the work space of repeated
//    factorisations are touched for the first time once per run, 2 MB at a
//    time.
#pragma once

#include <cstddef>
#include <limits>
#include <new>

namespace velmora {

// Puts OpenBLAS on one thread and stops the worker threads it started as it
// was loaded, which would spin for a tenth of a second waiting for work:
// for a program that calls it on one thread only, before anything else.
// Not for a process whose other users share OpenBLAS (the Python package).
void stop_blas_workers();

// Brings the kernels up, once per process; throws std::bad_alloc where the
// room they need cannot be had.
void bring_up_dense_kernels();

// Keeps OpenBLAS on the calling thread alone while any object of this
// class lives, and gives it back the thread count it had before the first
// one, after the last: for a process that uses the same OpenBLAS for other
// work between runs (the Python package, whose NumPy shares it).
class one_blas_thread {
public:
    one_blas_thread();
    ~one_blas_thread();
    one_blas_thread(const one_blas_thread&) = delete;
    one_blas_thread& operator=(const one_blas_thread&) = delete;
};

// Storage for the large arrays of the Newton path: a block of at least
// huge_block bytes comes from a mapping on huge pages, kept for reuse when
// released; a smaller one from malloc. Null when there is no room.
// Thread-safe.
inline constexpr std::size_t huge_block = std::size_t(2) << 20;
void* allocate_large(std::size_t bytes);
void release_large(void* block);

// Returns the kept blocks to the system, and malloc's free memory: after a
// phase whose work space is not asked for again (the ordering, the
// symbolic analysis), so that it does not stay in the process's resident
// memory.
void release_kept_blocks();

// A standard allocator over allocate_large, for vectors.
template <class T>
struct large_allocator {
    using value_type = T;
    large_allocator() = default;
    template <class U>
    large_allocator(const large_allocator<U>&) {}
    T* allocate(std::size_t n) {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) throw std::bad_alloc();
        void* p = allocate_large(n * sizeof(T));
        if (p == nullptr) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) { release_large(p); }
    friend bool operator==(const large_allocator&, const large_allocator&) { return true; }
};

}  // namespace velmora
