#pragma once

#include <cstdint>
#include <string>

#include "install/watch.h"

namespace morvane {

// The window's variables. Everything starts at zero or empty.
struct RunState {
  StageCounters stages;      // CreatingPercent, ExtractingPercent, MetadataPercent
  std::wstring binDir;       // "\Bin64" or "\Bin"
  bool taskbarList = false;  // the taskbar progress object exists
  int32_t compactWidth = 0;
  int32_t compactHeight = 0;
  int32_t expandedWidth = 0;
  int32_t expandedHeight = 0;
  int16_t sizeMode = 0;  // 0 compact (normal), 1 minimised, 2 expanded
};

constexpr const wchar_t* kStartCaption = L"开始安装";
constexpr const wchar_t* kInstallingCaption = L"正在安装";
constexpr const wchar_t* kStatusIdle = L"状态";

}  // namespace morvane
