// The dense kernels under CHOLMOD: one thread for OpenBLAS, CHOLMOD's OpenMP
// regions inline, and its large blocks on huge pages. See dense_kernels.hpp.
#include "newton/dense_kernels.hpp"

#include <SuiteSparse_config.h>
#include <cholmod.h>
#include <malloc.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "newton/cholmod_view.hpp"

// OpenBLAS's own setting of its thread count (cblas.h of OpenBLAS).
extern "C" void openblas_set_num_threads(int threads);
extern "C" int openblas_get_num_threads();
// OpenBLAS's pthreads build stops its worker threads with this (the other
// builds lack it, hence weak).
extern "C" [[gnu::weak]] void blas_thread_shutdown_();

// The entry by which code compiled with GCC's OpenMP starts a parallel
// region: fn(data) run by a team of threads. This program's definition
// runs it on the calling thread alone, as a team of one, which every
// OpenMP construct inside allows (work-sharing loops then give the thread
// all iterations; barriers return at once). It takes the place of
// libgomp's for CHOLMOD, whose regions are small loops that a team start
// and its wake-up call cost more than they do, and whose team size is
// fixed when CHOLMOD is built, whatever the machine.
extern "C" void GOMP_parallel(void (*fn)(void*), void* data, unsigned /*num_threads*/, unsigned /*flags*/) { fn(data); }

namespace velmora {

namespace {

// Every block starts with a header that says how it was obtained; the
// caller's storage follows it, aligned to 64 bytes.
constexpr std::uint64_t block_mark = 0x76656c6d6f72612eULL;  // "velmora." in ASCII
struct alignas(64) header {
    std::uint64_t mark;
    std::size_t bytes;   // asked for
    std::size_t mapped;  // bytes of the block's own mapping; 0: from malloc
};
constexpr std::size_t header_size = sizeof(header);

// Released mappings kept for the next request of about their size: at
// most kept_blocks of them, and a request takes a kept mapping no more than
// a quarter larger than it needs.
constexpr std::size_t kept_blocks = 8;
std::mutex kept_lock;
std::vector<header*> kept;

std::size_t round_up(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit * unit; }

header* take_kept(std::size_t mapped) {
    const std::lock_guard<std::mutex> hold(kept_lock);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        header* h = kept[k];
        if (h->mapped >= mapped && h->mapped - mapped <= mapped / 4) {
            kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(k));
            return h;
        }
    }
    return nullptr;
}

header* map_block(std::size_t mapped) {
    void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    // Where transparent huge pages are off this changes nothing but the
    // cost of the first touches.
    madvise(p, mapped, MADV_HUGEPAGE);
    header* h = static_cast<header*>(p);
    h->mapped = mapped;
    return h;
}

// Unmaps every kept mapping: where a new one cannot be had, the room they
// hold comes first.
void unmap_kept() {
    const std::lock_guard<std::mutex> hold(kept_lock);
    for (header* h : kept) munmap(h, h->mapped);
    kept.clear();
}

void keep_or_unmap(header* h) {
    {
        const std::lock_guard<std::mutex> hold(kept_lock);
        if (kept.size() < kept_blocks) {
            kept.push_back(h);
            return;
        }
    }
    munmap(h, h->mapped);
}

// CHOLMOD's memory functions. A block that is not this allocator's (one
// from before the functions were set) is malloc's.
bool ours(const void* block) { return (static_cast<const header*>(block) - 1)->mark == block_mark; }

void* cholmod_calloc(std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    void* p = allocate_large(count * size);
    if (p != nullptr) std::memset(p, 0, count * size);
    return p;
}

void* cholmod_realloc(void* block, std::size_t bytes) {
    if (block == nullptr) return allocate_large(bytes);
    if (!ours(block)) return std::realloc(block, bytes);
    header* h = static_cast<header*>(block) - 1;
    if (h->mapped != 0 && bytes + header_size <= h->mapped) {
        h->bytes = bytes;
        return block;
    }
    void* moved = allocate_large(bytes);
    if (moved == nullptr) return nullptr;
    std::memcpy(moved, block, h->bytes < bytes ? h->bytes : bytes);
    release_large(block);
    return moved;
}

void cholmod_free(void* block) {
    if (block != nullptr && !ours(block))
        std::free(block);
    else
        release_large(block);
}

// The order of the dense matrix whose factorisation brings up OpenBLAS's
// work buffer, and the address space that buffer and the stack of a
// factorisation take (OpenBLAS's buffer is 128 MB).
constexpr long warm_up_order = 128;
constexpr std::size_t dense_kernel_room = std::size_t(160) << 20;

// Factorises a small dense matrix as one supernode, so that OpenBLAS takes
// its work buffer before CHOLMOD takes the memory of a large factor: when
// the buffer cannot be allocated, OpenBLAS retries for ever, and running
// out of memory there would be a hung run instead of std::bad_alloc. For
// the same reason the room is first reserved and released: under a cap on
// the address space (ulimit -v) too little of it is std::bad_alloc.
void warm_up() {
    void* probe = mmap(nullptr, dense_kernel_room, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (probe == MAP_FAILED) throw std::bad_alloc();
    munmap(probe, dense_kernel_room);

    constexpr SuiteSparse_long n = warm_up_order;
    // A = n I + (all ones): symmetric positive definite, dense.
    std::vector<SuiteSparse_long> p(n + 1), i(std::size_t(n * (n + 1) / 2));
    std::vector<double> x(i.size(), 1.0);
    for (SuiteSparse_long j = 0, at = 0; j < n; ++j) {
        p[std::size_t(j)] = at;
        for (SuiteSparse_long r = 0; r <= j; ++r, ++at) {
            i[std::size_t(at)] = r;
            if (r == j) x[std::size_t(at)] += double(n);
        }
    }
    p[std::size_t(n)] = SuiteSparse_long(i.size());
    cholmod_common c;
    cholmod_l_start(&c);
    c.print = 0;
    c.error_handler = nullptr;
    c.supernodal = CHOLMOD_SUPERNODAL;
    cholmod_sparse a = symmetric_columns(std::size_t(n), i.size(), p.data(), i.data(), x.data(), 1);
    cholmod_factor* l = cholmod_l_analyze(&a, &c);
    if (l != nullptr) cholmod_l_factorize(&a, l, &c);
    const int status = c.status;
    cholmod_l_free_factor(&l, &c);
    cholmod_l_finish(&c);
    if (status == CHOLMOD_OUT_OF_MEMORY) throw std::bad_alloc();
}

}  // namespace

void* allocate_large(std::size_t bytes) {
    if (bytes > SIZE_MAX - huge_block - header_size) return nullptr;
    header* h = nullptr;
    if (bytes >= huge_block) {
        const std::size_t mapped = round_up(bytes + header_size, huge_block);
        h = take_kept(mapped);
        if (h == nullptr) h = map_block(mapped);
        if (h == nullptr) {
            unmap_kept();
            h = map_block(mapped);
        }
    } else {
        h = static_cast<header*>(std::aligned_alloc(header_size, round_up(bytes + header_size, header_size)));
        if (h != nullptr) h->mapped = 0;
    }
    if (h == nullptr) return nullptr;
    h->mark = block_mark;
    h->bytes = bytes;
    return h + 1;
}

void release_large(void* block) {
    if (block == nullptr) return;
    header* h = static_cast<header*>(block) - 1;
    h->mark = 0;
    if (h->mapped != 0)
        keep_or_unmap(h);
    else
        std::free(h);
}

void release_kept_blocks() {
    unmap_kept();
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

namespace {

std::mutex blas_threads_lock;
int blas_thread_holders = 0;
int blas_threads_before = 1;

}  // namespace

one_blas_thread::one_blas_thread() {
    const std::lock_guard<std::mutex> hold(blas_threads_lock);
    if (blas_thread_holders++ == 0) {
        blas_threads_before = openblas_get_num_threads();
        openblas_set_num_threads(1);
    }
}

one_blas_thread::~one_blas_thread() {
    const std::lock_guard<std::mutex> hold(blas_threads_lock);
    if (--blas_thread_holders == 0) openblas_set_num_threads(blas_threads_before);
}

void stop_blas_workers() {
    openblas_set_num_threads(1);
    if (blas_thread_shutdown_ != nullptr) blas_thread_shutdown_();
}

void bring_up_dense_kernels() {
    static const bool done = [] {
        // Setting it starts the worker threads again where they were stopped.
        if (openblas_get_num_threads() != 1) openblas_set_num_threads(1);
        SuiteSparse_config.malloc_func = allocate_large;
        SuiteSparse_config.calloc_func = cholmod_calloc;
        SuiteSparse_config.realloc_func = cholmod_realloc;
        SuiteSparse_config.free_func = cholmod_free;
        warm_up();
        return true;
    }();
    (void)done;
}

}  // namespace velmora
