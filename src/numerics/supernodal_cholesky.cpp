#include "numerics/supernodal_cholesky.hpp"

#include <cholmod.h>
#include <dlfcn.h>
#include <glob.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "numerics/sparse_pattern.hpp"

namespace velk {

namespace {

// The folders a bundled CHOLMOD may be in, most particular first: velk.libs
// beside the module or program this code is linked into, and, for the
// program a wheel installs into a bin/ folder, velk.libs in the
// site-packages beside it.
std::vector<std::string> bundled_folders() {
  std::vector<std::string> folders;
  auto parent = [](const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  };
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&bundled_folders), &info) != 0 && info.dli_fname != nullptr &&
      info.dli_fname[0] == '/')
    folders.push_back(parent(info.dli_fname) + "/velk.libs");
  std::array<char, 4096> program{};
  const ssize_t length = readlink("/proc/self/exe", program.data(), program.size() - 1);
  if (length > 0) {
    const std::string bin = parent(std::string(program.data(), static_cast<std::size_t>(length)));
    folders.push_back(bin + "/velk.libs");
    glob_t found{};
    if (glob((bin + "/../lib/python3*/site-packages/velk.libs").c_str(), 0, nullptr, &found) == 0) {
      for (std::size_t k = 0; k < found.gl_pathc; ++k) folders.emplace_back(found.gl_pathv[k]);
    }
    globfree(&found);
  }
  return folders;
}

constexpr const char* cholmod_soname = "libcholmod.so.3";

// The entry points of one loaded CHOLMOD. The library stays in the process
// once loaded (RTLD_NODELETE), so loading it again costs nothing.
struct Cholmod {
  void* handle = nullptr;
  decltype(&cholmod_start) start = nullptr;
  decltype(&cholmod_finish) finish = nullptr;
  decltype(&cholmod_analyze) analyze = nullptr;
  decltype(&cholmod_factorize) factorize = nullptr;
  decltype(&cholmod_solve2) solve2 = nullptr;
  decltype(&cholmod_copy_factor) copy_factor = nullptr;
  decltype(&cholmod_free_factor) free_factor = nullptr;
  decltype(&cholmod_free_dense) free_dense = nullptr;
  // The OpenMP runtime CHOLMOD was loaded with: how many nested parallel
  // regions may be active (0: none, every region runs on its thread).
  int (*get_openmp_levels)() = nullptr;
  void (*set_openmp_levels)(int) = nullptr;
  // OpenBLAS's thread count, where the BLAS is OpenBLAS.
  int (*get_blas_threads)() = nullptr;
  void (*set_blas_threads)(int) = nullptr;

  bool load() {
    for (const std::string& folder : bundled_folders()) {
      handle = dlopen((folder + "/" + cholmod_soname).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
      if (handle != nullptr) break;
    }
    if (handle == nullptr) handle = dlopen(cholmod_soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr) return false;
    const bool found = bind(start, "cholmod_start") && bind(finish, "cholmod_finish") &&
                       bind(analyze, "cholmod_analyze") && bind(factorize, "cholmod_factorize") &&
                       bind(solve2, "cholmod_solve2") && bind(copy_factor, "cholmod_copy_factor") &&
                       bind(free_factor, "cholmod_free_factor") && bind(free_dense, "cholmod_free_dense");
    if (!found) {
      dlclose(handle);
      handle = nullptr;
      return false;
    }
    if (void* openmp = dlopen("libgomp.so.1", RTLD_NOW | RTLD_NOLOAD); openmp != nullptr) {
      get_openmp_levels = reinterpret_cast<int (*)()>(dlsym(openmp, "omp_get_max_active_levels"));
      set_openmp_levels = reinterpret_cast<void (*)(int)>(dlsym(openmp, "omp_set_max_active_levels"));
      if (get_openmp_levels == nullptr || set_openmp_levels == nullptr) set_openmp_levels = nullptr;
      dlclose(openmp);
    }
    if (void* blas = dlopen("libopenblas.so.0", RTLD_NOW | RTLD_NOLOAD); blas != nullptr) {
      get_blas_threads = reinterpret_cast<int (*)()>(dlsym(blas, "openblas_get_num_threads"));
      set_blas_threads = reinterpret_cast<void (*)(int)>(dlsym(blas, "openblas_set_num_threads"));
      if (get_blas_threads == nullptr || set_blas_threads == nullptr) set_blas_threads = nullptr;
      dlclose(blas);
    }
    return true;
  }

  template <typename F>
  bool bind(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(handle, name));
    return f != nullptr;
  }
};

// A view of a compressed column matrix as CHOLMOD's symmetric matrix of its
// lower triangle.
cholmod_sparse lower_view(const Eigen::SparseMatrix<double>& a) {
  cholmod_sparse view{};
  view.nrow = static_cast<std::size_t>(a.rows());
  view.ncol = static_cast<std::size_t>(a.cols());
  view.nzmax = static_cast<std::size_t>(a.nonZeros());
  view.p = const_cast<int*>(a.outerIndexPtr());
  view.i = const_cast<int*>(a.innerIndexPtr());
  view.x = const_cast<double*>(a.valuePtr());
  view.stype = -1;
  view.itype = CHOLMOD_INT;
  view.xtype = CHOLMOD_REAL;
  view.dtype = CHOLMOD_DOUBLE;
  view.sorted = 1;
  view.packed = 1;
  return view;
}

// A view of n values as CHOLMOD's dense column.
cholmod_dense vector_view(const double* values, std::size_t n) {
  cholmod_dense view{};
  view.nrow = n;
  view.ncol = 1;
  view.nzmax = n;
  view.d = n;
  view.x = const_cast<double*>(values);
  view.xtype = CHOLMOD_REAL;
  view.dtype = CHOLMOD_DOUBLE;
  return view;
}

}  // namespace

struct SupernodalCholesky::State {
  Cholmod lib;
  cholmod_common common{};
  cholmod_factor* l = nullptr;
  SparsePattern pattern;         // the one l was analysed for
  std::vector<double> diagonal;  // |A(j, j)| of the matrix being factored
  // Solve workspace, kept between solves.
  mutable cholmod_dense* x = nullptr;
  mutable cholmod_dense* y = nullptr;
  mutable cholmod_dense* e = nullptr;
  mutable cholmod_dense* permuted = nullptr;  // P b between the halves of a solve

  State() {
    if (!lib.load()) return;
    lib.start(&common);
    common.print = 0;  // a matrix that is not positive definite is an answer, not a fault to print
    common.error_handler = nullptr;
    common.supernodal = CHOLMOD_SUPERNODAL;
    // Approximate minimum degree, and METIS nested dissection beside it when
    // AMD's fill is high (tall buildings): the one with less work is kept.
    common.nmethods = 0;
    common.postorder = 1;
    common.quick_return_if_not_posdef = 1;
  }
  ~State() {
    if (lib.handle == nullptr) return;
    free_workspace();
    if (l != nullptr) lib.free_factor(&l, &common);
    lib.finish(&common);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  void free_workspace() const {
    if (x != nullptr) lib.free_dense(&x, const_cast<cholmod_common*>(&common));
    if (y != nullptr) lib.free_dense(&y, const_cast<cholmod_common*>(&common));
    if (e != nullptr) lib.free_dense(&e, const_cast<cholmod_common*>(&common));
    if (permuted != nullptr) lib.free_dense(&permuted, const_cast<cholmod_common*>(&common));
  }

  // y = system^-1 b for one of CHOLMOD's systems, the result in `out`. A
  // solve is a sweep of small triangular products, which the BLAS's threads
  // would only slow with their hand-offs: it runs on the calling thread, and
  // the process's thread count is put back after it.
  void apply(int system, const double* b, cholmod_dense*& out) const {
    cholmod_dense rhs = vector_view(b, l->n);
    const int threads = lib.set_blas_threads != nullptr ? lib.get_blas_threads() : 1;
    if (threads != 1) lib.set_blas_threads(1);
    lib.solve2(system, l, &rhs, nullptr, &out, nullptr, &y, &e, const_cast<cholmod_common*>(&common));
    if (threads != 1) lib.set_blas_threads(threads);
  }
};

SupernodalCholesky::SupernodalCholesky(double zero_pivot_ratio) : zero_pivot_ratio_(zero_pivot_ratio) {}

SupernodalCholesky::~SupernodalCholesky() = default;
SupernodalCholesky::SupernodalCholesky(SupernodalCholesky&&) noexcept = default;
SupernodalCholesky& SupernodalCholesky::operator=(SupernodalCholesky&&) noexcept = default;

SupernodalCholesky::SupernodalCholesky(const SupernodalCholesky& other)
    : zero_pivot_ratio_(other.zero_pivot_ratio_),
      smallest_pivot_ratio_(other.smallest_pivot_ratio_),
      refactored_(other.refactored_) {
  if (other.state_ == nullptr) return;
  state_ = std::make_unique<State>();
  State& s = *state_;
  const State& o = *other.state_;
  if (s.lib.handle == nullptr || o.l == nullptr) return;
  s.l = s.lib.copy_factor(o.l, &s.common);
  if (s.l == nullptr) return;
  s.pattern = o.pattern;
}

SupernodalCholesky& SupernodalCholesky::operator=(const SupernodalCholesky& other) {
  if (this != &other) *this = SupernodalCholesky(other);
  return *this;
}

bool SupernodalCholesky::available() { return State().lib.handle != nullptr; }

bool SupernodalCholesky::symmetric_to_rounding(const Eigen::SparseMatrix<double>& a) {
  if (a.rows() != a.cols()) return false;
  // The transpose, compressed, has the pattern of A exactly when A's
  // pattern is symmetric; its values are then the mirrored pairs in A's order.
  const Eigen::SparseMatrix<double> t = a.transpose();
  if (t.nonZeros() != a.nonZeros()) return false;
  const Eigen::Index n = a.cols();
  if (!std::equal(t.outerIndexPtr(), t.outerIndexPtr() + n + 1, a.outerIndexPtr())) return false;
  if (!std::equal(t.innerIndexPtr(), t.innerIndexPtr() + a.nonZeros(), a.innerIndexPtr())) return false;
  std::vector<double> diagonal;
  absolute_diagonal(a, diagonal);
  for (Eigen::Index j = 0; j < n; ++j) {
    for (int p = a.outerIndexPtr()[j]; p < a.outerIndexPtr()[j + 1]; ++p) {
      const double value = a.valuePtr()[p], mirrored = t.valuePtr()[p];
      if (value == mirrored) continue;
      const auto i = static_cast<std::size_t>(a.innerIndexPtr()[p]);
      const double scale = diagonal[i] > 0.0 && diagonal[static_cast<std::size_t>(j)] > 0.0
                               ? std::sqrt(diagonal[i] * diagonal[static_cast<std::size_t>(j)])
                               : std::max(std::fabs(value), std::fabs(mirrored));
      if (!(std::fabs(value - mirrored) <= rounding_asymmetry * scale)) return false;
    }
  }
  return true;
}

bool SupernodalCholesky::factor(const Eigen::SparseMatrix<double>& a) {
  // The library is loaded by the first system large enough to need it.
  if (state_ == nullptr) state_ = std::make_unique<State>();
  State& s = *state_;
  refactored_ = false;
  if (s.lib.handle == nullptr || !a.isCompressed() || a.rows() != a.cols()) return false;
  cholmod_sparse view = lower_view(a);
  if (s.l != nullptr && s.pattern.matches(a)) {
    refactored_ = true;
  } else {
    s.free_workspace();
    if (s.l != nullptr) s.lib.free_factor(&s.l, &s.common);
    s.l = s.lib.analyze(&view, &s.common);
    if (s.l == nullptr) return false;
    s.pattern.assign(a);
  }
  // CHOLMOD's own parallel loops run on the calling thread alone: GNU
  // OpenMP's thread pool does not survive a fork, so a process that forks
  // after a factorisation (a pool of worker processes) would hang in its
  // children's next one. The cores still share the work in the BLAS. The
  // process's own setting is put back at once.
  const int openmp_levels = s.lib.set_openmp_levels != nullptr ? s.lib.get_openmp_levels() : 0;
  if (s.lib.set_openmp_levels != nullptr) s.lib.set_openmp_levels(0);
  const bool factored = s.lib.factorize(&view, s.l, &s.common) != 0;
  if (s.lib.set_openmp_levels != nullptr) s.lib.set_openmp_levels(openmp_levels);
  if (!factored || s.common.status != CHOLMOD_OK || s.l->minor < s.l->n || !s.l->is_super) return false;

  // Pivot k of the elimination without pivoting is L(k, k)^2; its unknown
  // is Perm[k], whose own diagonal entry it is measured against.
  const auto* super = static_cast<const int*>(s.l->super);
  const auto* pi = static_cast<const int*>(s.l->pi);
  const auto* px = static_cast<const int*>(s.l->px);
  const auto* perm = static_cast<const int*>(s.l->Perm);
  const auto* values = static_cast<const double*>(s.l->x);
  absolute_diagonal(a, s.diagonal);
  double smallest = 1.0;
  for (std::size_t node = 0; node < s.l->nsuper; ++node) {
    const int rows = pi[node + 1] - pi[node];
    for (int k = super[node]; k < super[node + 1]; ++k) {
      const int local = k - super[node];
      const double l_kk = values[px[node] + static_cast<std::size_t>(local) * rows + local];
      const double pivot = l_kk * l_kk;
      const double own = s.diagonal[static_cast<std::size_t>(perm[k])];
      if (!(pivot > 0.0) || !std::isfinite(pivot) || pivot <= zero_pivot_ratio_ * own) return false;
      if (own > 0.0) smallest = std::min(smallest, pivot / own);
    }
  }
  smallest_pivot_ratio_ = smallest;
  return true;
}

void SupernodalCholesky::solve(const Eigen::VectorXd& b, Eigen::VectorXd& x) const {
  const State& s = *state_;
  s.apply(CHOLMOD_A, b.data(), s.x);
  x.resize(b.size());
  std::memcpy(x.data(), s.x->x, static_cast<std::size_t>(b.size()) * sizeof(double));
}

void SupernodalCholesky::lower_solve(const double* b, double* y) const {
  const State& s = *state_;
  s.apply(CHOLMOD_P, b, s.permuted);
  s.apply(CHOLMOD_L, static_cast<const double*>(s.permuted->x), s.x);
  std::memcpy(y, s.x->x, s.l->n * sizeof(double));
}

void SupernodalCholesky::upper_solve(const double* b, double* y) const {
  const State& s = *state_;
  s.apply(CHOLMOD_Lt, b, s.permuted);
  s.apply(CHOLMOD_Pt, static_cast<const double*>(s.permuted->x), s.x);
  std::memcpy(y, s.x->x, s.l->n * sizeof(double));
}

std::size_t SupernodalCholesky::factor_nonzeros() const {
  if (state_ == nullptr) return 0;
  const State& s = *state_;
  if (s.l == nullptr || !s.l->is_super) return 0;
  const auto* super = static_cast<const int*>(s.l->super);
  const auto* pi = static_cast<const int*>(s.l->pi);
  std::size_t count = 0;
  for (std::size_t node = 0; node < s.l->nsuper; ++node) {
    const auto rows = static_cast<std::size_t>(pi[node + 1] - pi[node]);
    const auto width = static_cast<std::size_t>(super[node + 1] - super[node]);
    count += width * rows - width * (width - 1) / 2;
  }
  return count;
}

}  // namespace velk
