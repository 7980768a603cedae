// The tramel library: the analysis of a series, from its samples to its forecast
// (tramel::analysis::analyse_series and the rest of <tramel/analysis/analysis.hpp>, with the
// types of the steps it returns), and the version of these headers (<tramel/version.hpp>).
#pragma once

#include "tramel/analysis/analysis.hpp"
#include "tramel/version.hpp"
