#pragma once
// Every export body runs inside one of these: no exception crosses the
// library boundary; the export answers with its failure value instead.
#include <utility>

namespace kinevra {

template <class R, class F>
R guarded(R failure, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return failure;
  }
}

template <class F>
void guarded(F&& body) noexcept {
  try {
    std::forward<F>(body)();
  } catch (...) {
  }
}

}  // namespace kinevra
