// wrstat: the four report records of the descriptive statistics.
#include "data/data.hpp"

namespace tramel::data {

void wrstat(textio::Sink& report, const Stats& s) {
  static const textio::Format kRule("(2x,57('='),/)");
  static const textio::Format kMean("(' Mean =',g12.3,7x,'Std Dev =',g12.3,/)");
  static const textio::Format kMoments(
      "(' Skew =',g10.3,4x,'Kurtosis =',g10.3,4x,'C(6) =',f10.3,/)");
  static const textio::Format kRange("(' Max value =',g12.3,7x,'Min value =',g12.3)");
  textio::write(report, kRule);
  textio::write(report, kMean, s.mean, s.sd);
  textio::write(report, kMoments, s.skew, s.kurt, s.c6);
  textio::write(report, kRange, s.max, s.min);
}

}  // namespace tramel::data
