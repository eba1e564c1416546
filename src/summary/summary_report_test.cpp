#include "summary/summary_report.h"

#include <gtest/gtest.h>
