// Stand-in until the coherence step lands. Deleted with its arrival.
#include "coherence/coherence.hpp"
namespace tramel::coherence {
void coh(std::span<float>, std::span<float>, std::span<float>, std::span<float>,
         std::span<Complex>, numeric::FftTable&, std::span<Complex>, float& sd, int, int, int,
         int, float, textio::Sink&) { sd = 0; }
}  // namespace tramel::coherence
