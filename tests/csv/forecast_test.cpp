// The forecast as CSV: the columns, the stamps after the data, the interval columns and the
// values' shortest round-trip text.
#include <gtest/gtest.h>

#include <charconv>
#include <string>

#include "csv/csv.hpp"

namespace {

using namespace tramel::csv;

TEST(ForecastCsv, ColumnsStampsAndIntervals) {
  // Monthly data from 1969-01-01: two frames of 3 ahead from datum 7.
  const Result<Table> data = read_table("date,kms,\"front, seat\"\n1969-01-01,1,2\n1969-02-01,3,4\n", {});
  ASSERT_TRUE(data.ok());
  ForecastTable f;
  f.names = data.value->names;
  f.time = data.value->time;
  f.time_name = data.value->time_name;
  RunForecast run;
  run.run = 2;
  run.first_datum = 7;
  run.frame_length = 3;
  run.series = {{0.1f, 2.5f, -3, 4, 5, 1e-7f}, {1, 2, 3, 4, 5, 16777216}};
  IntervalLevel l80{80, {{0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}}, {{9, 9, 9, 9, 9, 9}, {2, 2, 2, 2, 2, 2}}};
  IntervalLevel l95{95, {{-1, -1, -1, -1, -1, -1}, {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}},
                    {{10, 10, 10, 10, 10, 10}, {3, 3, 3, 3, 3, 3}}};
  run.levels = {l80, l95};
  f.runs = {run};
  EXPECT_EQ(forecast_csv(f),
            "run,frame,position,date,kms,kms-lo-95,kms-lo-80,kms-hi-80,kms-hi-95,\"front, seat\","
            "\"front, seat-lo-95\",\"front, seat-lo-80\",\"front, seat-hi-80\",\"front, seat-hi-95\"\n"
            "2,1,1,1969-07-01,0.1,-1,0,9,10,1,0.5,1,2,3\n"
            "2,1,2,1969-08-01,2.5,-1,0,9,10,2,0.5,1,2,3\n"
            "2,1,3,1969-09-01,-3,-1,0,9,10,3,0.5,1,2,3\n"
            "2,2,1,1969-10-01,4,-1,0,9,10,4,0.5,1,2,3\n"
            "2,2,2,1969-11-01,5,-1,0,9,10,5,0.5,1,2,3\n"
            "2,2,3,1969-12-01,1e-07,-1,0,9,10,16777216,0.5,1,2,3\n");
}

TEST(ForecastCsv, WithoutNamesOrTimeAndEveryValueReadsBack) {
  ForecastTable f;
  RunForecast a;
  a.run = 1;
  a.frame_length = 2;
  a.series = {{0.3f, 1.0f / 3.0f}};
  RunForecast b = a;
  b.run = 2;
  b.series = {{3.4028235e38f, -1.17549435e-38f}};
  f.runs = {a, b};
  const std::string text = forecast_csv(f);
  EXPECT_EQ(text, "run,frame,position,series1\n1,1,1,0.3\n1,1,2,0.33333334\n2,1,1,3.4028235e+38\n"
                  "2,1,2,-1.1754944e-38\n");
  // Read back as a table, the values are the same floats.
  const Result<Table> back = read_table(text, {});
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.value->column(3), (std::vector<float>{0.3f, 1.0f / 3.0f, 3.4028235e38f, -1.17549435e-38f}));
}

}  // namespace
