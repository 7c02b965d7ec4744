// The headers that every test program compiles, precompiled once for all of them
// (tests/CMakeLists.txt): GoogleTest's and GoogleMock's take most of a test's compile time.
#pragma once

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>
