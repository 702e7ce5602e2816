// A set of lambdas as one callable, so a std::visit names what it does per alternative
// in place; an alternative no lambda takes is a compile error unless one takes `auto`.
#pragma once

namespace tarn {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace tarn
