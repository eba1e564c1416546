#include "summary/time_histogram.h"

#include <gtest/gtest.h>
