// The CHOLMOD wrapper: see sparse_cholesky.hpp. The pattern's arrays are
// handed to CHOLMOD's 64-bit interface in place, through a matrix header
// that points at them, as is the right-hand side of a solve; nothing of the
// pattern is copied.
#include "newton/sparse_cholesky.hpp"

#include <cholmod.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "newton/cholmod_view.hpp"
#include "newton/dense_kernels.hpp"

namespace velmora {

static_assert(sizeof(SuiteSparse_long) == sizeof(tangent_pattern::index) && std::is_signed_v<SuiteSparse_long>,
              "the pattern's indices are CHOLMOD's 64-bit integers");

namespace {

// The message of CHOLMOD's last error on this thread, kept for the failure
// text. The handler may run out of memory, so it only copies into a fixed
// buffer.
thread_local char last_message[160];

void keep_message(int /*status*/, const char* /*file*/, int /*line*/, const char* message) {
    if (message == nullptr) message = "";
    std::strncpy(last_message, message, sizeof last_message - 1);
    last_message[sizeof last_message - 1] = '\0';
}

const char* status_name(int status) {
    switch (status) {
    case CHOLMOD_NOT_INSTALLED:
        return "method not installed";
    case CHOLMOD_TOO_LARGE:
        return "integer overflow, the problem is too large";
    case CHOLMOD_INVALID:
        return "invalid input";
    case CHOLMOD_GPU_PROBLEM:
        return "GPU failure";
    default:
        return "error";
    }
}

}  // namespace

struct sparse_cholesky::state {
    cholmod_common common;
    bool started = false;
    cholmod_sparse matrix{};  // header over the pattern's arrays
    cholmod_factor* factor = nullptr;
    cholmod_dense* solution = nullptr;  // solve's result and workspaces, kept between solves
    cholmod_dense* work_y = nullptr;
    cholmod_dense* work_e = nullptr;
    bool factorised = false;  // the factor holds a successful numeric factorisation
    figures analysis{};

    state() {
        last_message[0] = '\0';
        cholmod_l_start(&common);
        started = true;
        common.print = 0;
        common.error_handler = keep_message;
    }
    ~state() {
        cholmod_l_free_dense(&solution, &common);
        cholmod_l_free_dense(&work_y, &common);
        cholmod_l_free_dense(&work_e, &common);
        cholmod_l_free_factor(&factor, &common);
        if (started) cholmod_l_finish(&common);
    }

    // After each CHOLMOD call: its errors as exceptions; warnings (not
    // positive definite, a tiny diagonal) are left to the caller.
    void check(const char* call) {
        const int status = common.status;
        if (status >= CHOLMOD_OK) return;
        if (status == CHOLMOD_OUT_OF_MEMORY) throw std::bad_alloc();
        std::string message = std::string("CHOLMOD ") + call + " failed: " + status_name(status);
        if (last_message[0] != '\0') message += " (" + std::string(last_message) + ")";
        throw failure(solver_error, message);
    }
};

sparse_cholesky::sparse_cholesky(const tangent_pattern& pattern, factor_form form, factor_kind kind)
    : s_(std::make_unique<state>()) {
    bring_up_dense_kernels();
    cholmod_common& c = s_->common;
    // The pattern's own order, as it is: no other ordering, no postorder.
    // With the lower triangle given in that order CHOLMOD factorises the
    // matrix where it lies, without a permuted or transposed copy.
    c.nmethods = 1;
    c.method[0].ordering = CHOLMOD_NATURAL;
    c.postorder = 0;
    c.supernodal = form == factor_form::simplicial || kind == factor_kind::ldl ? CHOLMOD_SIMPLICIAL
                   : form == factor_form::supernodal                           ? CHOLMOD_SUPERNODAL
                                                                               : CHOLMOD_AUTO;
    // The simplicial factorisation as L L' too, so that a pivot <= 0 shows
    // the matrix is not positive definite, as in the supernodal one; and
    // stop at such a pivot, since the caller will change the matrix. As
    // LDL', only a zero pivot stops it.
    c.final_ll = kind == factor_kind::cholesky ? 1 : 0;
    c.quick_return_if_not_posdef = 1;

    // The lower triangle; its values are set at each factorisation.
    cholmod_sparse& a = s_->matrix;
    a = symmetric_columns(static_cast<std::size_t>(pattern.n), static_cast<std::size_t>(pattern.nonzeros()),
                          const_cast<tangent_pattern::index*>(pattern.column_start.data()),
                          const_cast<tangent_pattern::index*>(pattern.row.data()), nullptr, -1);

    s_->factor = cholmod_l_analyze(&a, &c);
    s_->check("cholmod_l_analyze");
    if (s_->factor == nullptr) throw failure(solver_error, "CHOLMOD cholmod_l_analyze gave no factor");
    s_->analysis = {c.lnz, double(s_->factor->xsize), c.fl, c.memory_usage, s_->factor->is_super != 0};
    a.xtype = CHOLMOD_REAL;
    release_kept_blocks();
}

sparse_cholesky::~sparse_cholesky() = default;

bool sparse_cholesky::factorise(const double* values) {
    s_->factorised = false;
    s_->matrix.x = const_cast<double*>(values);
    cholmod_l_factorize(&s_->matrix, s_->factor, &s_->common);
    s_->matrix.x = nullptr;
    s_->check("cholmod_l_factorize");
    if (s_->common.status == CHOLMOD_NOT_POSDEF || s_->factor->minor < s_->matrix.ncol) return false;
    s_->factorised = true;
    return true;
}

void sparse_cholesky::solve(const double* b, double* x) {
    if (!s_->factorised) throw failure(solver_error, "solve without a successful factorisation");
    const std::size_t n = s_->matrix.nrow;
    cholmod_dense rhs{};
    rhs.nrow = n;
    rhs.ncol = 1;
    rhs.nzmax = n;
    rhs.d = n;
    rhs.x = const_cast<double*>(b);
    rhs.z = nullptr;
    rhs.xtype = CHOLMOD_REAL;
    rhs.dtype = CHOLMOD_DOUBLE;
    cholmod_l_solve2(CHOLMOD_A, s_->factor, &rhs, nullptr, &s_->solution, nullptr, &s_->work_y, &s_->work_e,
                     &s_->common);
    s_->check("cholmod_l_solve2");
    if (n > 0) std::memcpy(x, s_->solution->x, n * sizeof(double));
}

long sparse_cholesky::negative_pivots() const {
    const cholmod_factor* l = s_->factor;
    if (!s_->factorised || l->is_ll || l->is_super) return 0;
    // Each column of the simplicial factor starts with its diagonal: D(j, j).
    const auto* lp = static_cast<const SuiteSparse_long*>(l->p);
    const auto* lx = static_cast<const double*>(l->x);
    long negative = 0;
    for (std::size_t j = 0; j < s_->matrix.ncol; ++j) negative += lx[lp[j]] < 0 ? 1 : 0;
    return negative;
}

sparse_cholesky::pivot sparse_cholesky::weakest_pivot(const double* values) const {
    const cholmod_factor* l = s_->factor;
    const std::size_t n = s_->matrix.ncol;
    if (l->minor < n) return {static_cast<tangent_pattern::index>(l->minor), 0.0};
    const auto* start = static_cast<const SuiteSparse_long*>(s_->matrix.p);
    const auto* lx = static_cast<const double*>(l->x);
    pivot weakest{0, 1.0};
    const auto consider = [&](std::size_t j, double diagonal) {
        const double fraction = diagonal * diagonal / values[start[j]];
        if (fraction < weakest.fraction) weakest = {static_cast<tangent_pattern::index>(j), fraction};
    };
    if (l->is_super) {
        // Supernode s holds columns super[s] .. super[s + 1] - 1 as a dense
        // block of pi[s + 1] - pi[s] rows, column-major, from px[s].
        const auto* super = static_cast<const SuiteSparse_long*>(l->super);
        const auto* pi = static_cast<const SuiteSparse_long*>(l->pi);
        const auto* px = static_cast<const SuiteSparse_long*>(l->px);
        for (std::size_t s = 0; s < l->nsuper; ++s) {
            const SuiteSparse_long rows = pi[s + 1] - pi[s];
            for (SuiteSparse_long j = super[s]; j < super[s + 1]; ++j)
                consider(static_cast<std::size_t>(j), lx[px[s] + (j - super[s]) * (rows + 1)]);
        }
    } else {
        // Each column of the simplicial factor starts with its diagonal.
        const auto* lp = static_cast<const SuiteSparse_long*>(l->p);
        for (std::size_t j = 0; j < n; ++j) consider(j, lx[lp[j]]);
    }
    return weakest;
}

sparse_cholesky::figures sparse_cholesky::statistics() const {
    figures f = s_->analysis;
    f.peak_bytes = s_->common.memory_usage;
    return f;
}

}  // namespace velmora
