#include "app/layout.h"

#include <cstdlib>

namespace morvane {

const wchar_t* const kWindowCaption = L"Morvane系统安装工具 1.0";

const wchar_t* const kAboutText =
    L"版权所有 (C) 2018 Morvane 及其作者，保留所有权利。\r\n"
    L"Morvane系统安装工具是一款绿色、纯净的 Windows 系统安装工具，无需安装，打开即用，不附带任何插件。\r\n"
    L"使用中如发现问题或有改进建议，欢迎随时向我们反馈，我们会认真对待每一条意见。\r\n"
    L"\r\n"
    L"如果本工具对您有所帮助，欢迎赞助支持，您的支持是我们持续改进的动力。\r\n"
    L"本程序使用了开源映像工具 wimlib-imagex，其版权归其作者所有。";

namespace {

constexpr Ctl W = Ctl::Count;

const std::vector<ControlSpec> kLayout = {
    {Ctl::Text1, Kind::Edit, W, 1320, 360, 5055, 330, L"", true, Face::Verdana, 0},
    {Ctl::Command1, Kind::Button, W, 6480, 360, 855, 325, L"选择...", true, Face::YaHei, 1},
    {Ctl::Command2, Kind::Button, W, 6480, 780, 855, 325, L"选择...", true, Face::YaHei, 2},
    {Ctl::Command3, Kind::Button, W, 6480, 1200, 855, 325, L"选择...", true, Face::YaHei, 3},
    {Ctl::Combo0, Kind::DropList, Ctl::Frame1, 1080, 240, 3615, 330, L"", true, Face::Verdana, 4},
    {Ctl::Check1, Kind::CheckBox, Ctl::Frame1, 4920, 280, 1095, 255, L"重建引导", true, Face::YaHei, 5},
    {Ctl::Check2, Kind::CheckBox, Ctl::Frame1, 6120, 280, 1095, 255, L"自动重启", true, Face::YaHei, 6},
    {Ctl::Command4, Kind::Button, Ctl::Frame2, 5880, 200, 1095, 360, L"开始安装", true, Face::YaHei, 7},
    {Ctl::Text2, Kind::Edit, W, 1320, 780, 5055, 330, L"C:", true, Face::Verdana, 8},
    {Ctl::Frame0, Kind::Frame, W, 240, 120, 7335, 1560, L"", true, Face::YaHei, 9},
    {Ctl::Label1, Kind::Label, Ctl::Frame0, 240, 720, 720, 255, L"主引导：", true, Face::YaHei, 10},
    {Ctl::Label0, Kind::Label, Ctl::Frame0, 240, 300, 720, 210, L"选择映像", true, Face::YaHei, 11},
    {Ctl::Combo2, Kind::DropList, W, 1320, 1920, 3615, 300, L"", false, Face::Default, 12},
    {Ctl::Frame2, Kind::Frame, W, 240, 2400, 7335, 690, L"", true, Face::YaHei, 13},
    {Ctl::Status, Kind::Label, Ctl::Frame2, 240, 255, 1680, 255, L"状态", true, Face::YaHei, 14},
    {Ctl::Frame1, Kind::Frame, W, 240, 1680, 7335, 735, L"", true, Face::YaHei, 15},
    {Ctl::Label3, Kind::Label, Ctl::Frame1, 240, 280, 720, 255, L"版\u3000本：", true, Face::YaHei, 16},
    {Ctl::Label2, Kind::Label, Ctl::Frame0, 240, 1140, 675, 255, L"安装到...", true, Face::YaHei, 17},
    {Ctl::Text3, Kind::Edit, W, 1320, 1200, 5055, 330, L"C:", true, Face::Verdana, 18},
    {Ctl::ProgressBar1, Kind::Progress, Ctl::Frame2, 2160, 240, 3015, 300, L"", true, Face::Default, 19},
    {Ctl::Frame3, Kind::Frame, W, 240, 3360, 7335, 2535, L"Morvane系统安装工具 1.0 关于...", true, Face::YaHei, 20},
    {Ctl::Label4, Kind::Label, Ctl::Frame3, 240, 480, 6855, 1935, nullptr, true, Face::YaHei, 21},
    {Ctl::RDriver, Kind::DropList, Ctl::Frame2, 2160, 240, 3015, 330, L"", false, Face::Verdana, 22},
    {Ctl::Combo1, Kind::DropList, W, 1320, 1920, 3615, 330, L"", false, Face::Verdana, 23},
};

}  // namespace

const std::vector<ControlSpec>& FormLayout() { return kLayout; }

const ControlSpec& SpecOf(Ctl c) {
  for (const ControlSpec& item : kLayout) {
    if (item.ctl == c) return item;
  }
  std::abort();  // every control has its row in kLayout
}

Rect PlaceInWindow(const ControlSpec& item) {
  Rect r{item.left, item.top, item.width, item.height};
  for (Ctl c = item.container; c != Ctl::Count;) {
    const ControlSpec& outer = SpecOf(c);
    r.left += outer.left;
    r.top += outer.top;
    c = outer.container;
  }
  return r;
}

int32_t RoomToTheRight(const ControlSpec& item) {
  const Rect r = PlaceInWindow(item);
  const int32_t right = r.left + r.width;
  int32_t edge = kClientWidth;
  for (const ControlSpec& other : kLayout) {
    if (!other.visible || other.ctl == item.ctl) continue;
    const Rect o = PlaceInWindow(other);
    const bool sharesHeight = o.top < r.top + r.height && r.top < o.top + o.height;
    if (sharesHeight && o.left >= right && o.left < edge) edge = o.left;
  }
  return edge - right;
}

int32_t TwipsToPixels(int32_t twips, int dpi) {
  const int64_t scaled = static_cast<int64_t>(twips) * dpi;
  return static_cast<int32_t>(scaled >= 0 ? (scaled + 720) / 1440 : -((-scaled + 720) / 1440));
}

int32_t PixelsToTwips(int32_t pixels, int dpi) {
  if (dpi <= 0) dpi = 96;
  const int64_t scaled = static_cast<int64_t>(pixels) * 1440;
  return static_cast<int32_t>((scaled + dpi / 2) / dpi);
}

}  // namespace morvane
