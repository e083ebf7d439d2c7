// Taskbar progress: creation must agree with the system's own answer for the taskbar list object,
// and every call must be harmless whether or not the object exists.
#include "progress/taskbar_win.h"

#include <windows.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <iostream>

#include "shell/handles_win.h"

namespace morvane {
namespace {

// Whether this system hands out ITaskbarList3, asked with the SDK's own GUIDs.
bool SystemHasTaskbarList3() {
  UniqueCom<ITaskbarList3> probe;
  HRESULT hr = ::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ITaskbarList3, probe.put_void());
  return SUCCEEDED(hr) && probe;
}

class TaskbarProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.ok());
    window_.reset(::CreateWindowExW(0, L"STATIC", L"taskbar test", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                    100, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(window_.valid());
  }

  ComThreadGuard com_;
  UniqueHwnd window_;
};

TEST_F(TaskbarProgressTest, CreateSucceedsExactlyWhenTheSystemHasTheObject) {
  bool expected = SystemHasTaskbarList3();
  std::cout << "[ note     ] ITaskbarList3 " << (expected ? "available" : "not available")
            << " on this system\n";
  TaskbarProgress taskbar;
  EXPECT_FALSE(taskbar.created());
  EXPECT_EQ(taskbar.Create(), expected);
  EXPECT_EQ(taskbar.created(), expected);
  EXPECT_EQ(taskbar.Create(), expected) << "creating again";
}

TEST_F(TaskbarProgressTest, CallsOnARealWindowAreHarmless) {
  TaskbarProgress taskbar;
  taskbar.Create();
  taskbar.SetState(window_.get(), TaskbarProgress::kIndeterminate);
  taskbar.SetValue(window_.get(), 0, 100);
  taskbar.SetValue(window_.get(), 50, 100);
  taskbar.SetValue(window_.get(), 5000000000ull, 10000000000ull);
  taskbar.SetValue(window_.get(), 100, 0);
  taskbar.SetState(window_.get(), TaskbarProgress::kNoProgress);
  taskbar.SetState(nullptr, TaskbarProgress::kIndeterminate);
  EXPECT_TRUE(::IsWindow(window_.get()));
}

TEST_F(TaskbarProgressTest, CallsWithoutTheObjectDoNothing) {
  TaskbarProgress taskbar;
  taskbar.SetState(window_.get(), TaskbarProgress::kIndeterminate);
  taskbar.SetValue(window_.get(), 1, 2);
  EXPECT_FALSE(taskbar.created());
}

}  // namespace
}  // namespace morvane
