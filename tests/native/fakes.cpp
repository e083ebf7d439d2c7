#include "fakes.h"

#include <gtest/gtest.h>

namespace morvane::testing {

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t cp = static_cast<uint32_t>(text[i]);  // the tests' texts hold no surrogate pairs
    const int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    out += static_cast<char>(extra == 0 ? cp : ((0xFFu << (7 - extra)) & 0xFFu) | (cp >> (6 * extra)));
    for (int k = extra - 1; k >= 0; --k) out += static_cast<char>(0x80u | ((cp >> (6 * k)) & 0x3Fu));
  }
  return out;
}

std::string Utf16Le(const std::wstring& text) {
  std::string out = "\xFF\xFE";
  for (wchar_t ch : text) out += {static_cast<char>(ch & 0xFF), static_cast<char>((ch >> 8) & 0xFF)};
  return out;
}

std::wstring WimXml(const Lines& majors) {
  std::wstring xml = L"<WIM><TOTALBYTES>1</TOTALBYTES>";
  for (size_t i = 0; i < majors.size(); ++i) {
    const std::wstring n = std::to_wstring(i + 1);
    xml += L"<IMAGE INDEX=\"" + n + L"\"><NAME>Image " + n + L"</NAME><WINDOWS><VERSION>";
    if (!majors[i].empty()) xml += L"<MAJOR>" + majors[i] + L"</MAJOR>";
    xml += L"<MINOR>0</MINOR></VERSION></WINDOWS></IMAGE>";
  }
  return xml + L"</WIM>";
}

std::string PeFile(uint16_t machine) {
  std::string file(0x86, '\0');
  file.replace(0, 2, "MZ");
  file[0x3C] = '\x80';
  file.replace(0x80, 4, std::string("PE\0\0", 4));
  file[0x84] = static_cast<char>(machine & 0xFF);
  file[0x85] = static_cast<char>(machine >> 8);
  return file;
}

void Rig::ExpectIdle() {
  EXPECT_EQ(ui.Text(Ctl::Command4), L"开始安装");
  EXPECT_EQ(ui.Text(Ctl::Status), L"状态");
  EXPECT_EQ(ui.bar, 0);
  EXPECT_FALSE(ui.timerEnabled);
  EXPECT_FALSE(form.running());
  for (Ctl c : kRunInputs) EXPECT_TRUE(ui.IsEnabled(c)) << static_cast<int>(c);
  const size_t boxes = ui.boxes.size();
  EXPECT_TRUE(form.OnQueryClose());
  EXPECT_TRUE(form.OnQueryEndSession());
  EXPECT_EQ(ui.boxes.size(), boxes);
}

void Rig::ExpectError(size_t count, const std::wstring& text) {
  ASSERT_EQ(ui.boxes.size(), count);
  if (count == 0) return;
  const FakeWindow::Box& box = ui.boxes.back();
  EXPECT_EQ(box, (FakeWindow::Box{box.text, L"错误", MsgIcon::Stop, MsgButtons::Ok}));
  EXPECT_NE(box.text.find(text), std::wstring::npos) << Narrow(box.text);
}

}  // namespace morvane::testing
