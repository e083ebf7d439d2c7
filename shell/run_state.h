#pragma once

#include <cstdint>
#include <string>


namespace morvane {

// How far the apply watch has seen each stage of the running apply.
struct StageCounters {
  int16_t creating = 0;
  int16_t extracting = 0;
  int16_t metadata = 0;
  int16_t unread = 0;  // ticks in a row on which the ended tool's output could not be read
};

// The window's variables. Everything starts at zero or empty.
struct RunState {
  bool running = false;       // an installation holds the window (see RunHold)
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
