#include "catalogue/image_query.h"

#include "catalogue/image_list.h"
#include "catalogue/selection.h"
#include "shell/quoting.h"

namespace morvane {
namespace {

const wchar_t* const kErrorCaption = L"错误";

void Refuse(WindowPort& ui, const std::wstring& text) {
  ClearImageLists(ui);
  ui.Message(text, kErrorCaption, MsgIcon::Stop, MsgButtons::Ok);
}

}  // namespace

std::optional<ImagePath> ResolveImage(const WindowPort& ui, SystemPort& sys) {
  const std::wstring text = ui.Text(Ctl::Text1);
  if (text.empty() || NamesDevice(text)) return std::nullopt;
  const std::wstring full = sys.FullPath(text);
  if (NamesDevice(full) || sys.Lookup(full) != Entry::File) return std::nullopt;
  return ImagePath{full, sys.ShortPath(full)};
}

void ClearImageLists(WindowPort& ui) {
  ui.ListClear(Ctl::Combo0);
  ui.ListClear(Ctl::Combo1);
  ui.ListClear(Ctl::Combo2);
}

void ShowSelectedDisplayName(WindowPort& ui) {
  const int index = ui.ListIndex(Ctl::Combo0);
  ui.SetTooltip(Ctl::Combo0, index >= 0 && index < ui.ListCount(Ctl::Combo1) ? ui.ListItem(Ctl::Combo1, index)
                                                                              : std::wstring());
}

void GetWimInfo(WindowPort& ui, SystemPort& sys, const RunState& state, const ImagePath& image) {
  const std::wstring windir = sys.Env(L"windir");
  const std::wstring programShort = sys.ShortPath(sys.ProgramFolder());

  if (!sys.BatchCanCarry(programShort)) {
    Refuse(ui, L"程序所在文件夹的路径含有当前系统代码页无法表示的字符，且没有可用的短文件名，"
               L"无法读取映像信息。\r\n请把本程序放到路径只含常用字符的文件夹中再试。");
    return;
  }
  if (!sys.BatchCanCarry(image.forBatch)) {
    Refuse(ui, L"映像文件的路径含有当前系统代码页无法表示的字符，且没有可用的短文件名，"
               L"无法读取映像信息。\r\n请把映像文件放到路径只含常用字符的文件夹中再试。");
    return;
  }
  const auto line = InfoCommandLine(ImageToolPath(programShort, state.binDir), image.forBatch, windir);
  if (!line) {
    Refuse(ui, L"映像文件的路径含有无法写入批处理文件的字符，无法读取映像信息。");
    return;
  }
  const std::wstring batch = InfoBatchPath(windir);
  const WriteResult written = sys.WriteBatchText(batch, *line + L"\r\n");
  if (written != WriteResult::Ok) {
    sys.DeleteFile(batch);
    Refuse(ui, written == WriteResult::NotAnsi
                   ? L"系统文件夹的路径含有当前系统代码页无法表示的字符，无法读取映像信息。"
                   : L"无法写入文件“" + batch + L"”，无法读取映像信息。");
    return;
  }
  // A stale description of another file must never be read as this one's.
  sys.DeleteFile(InfoOutputPath(windir));
  const RunResult run = sys.RunAndWait(BatchRunLine(sys.CommandInterpreter(), batch));
  sys.DeleteFile(batch);

  // A tool that failed may have written part of a description: it is not read.
  const bool ran = run.started && run.exitCode == 0;
  const auto bytes = ran ? sys.ReadFile(InfoOutputPath(windir), false) : std::nullopt;
  const ImageLists lists = CutImageList(sys.HalfWidth(DecodeUtf16Output(bytes ? *bytes : std::string())));

  ClearImageLists(ui);
  for (size_t i = 0; i < lists.labels.size(); ++i) {
    ui.ListAdd(Ctl::Combo0, lists.labels[i]);
    ui.ListAdd(Ctl::Combo1, lists.displayNames[i]);
    ui.ListAdd(Ctl::Combo2, lists.majors[i]);
  }
  if (!lists.labels.empty()) {
    ui.SetListIndex(Ctl::Combo0, 0);
    ShowSelectedDisplayName(ui);
  }
}

}  // namespace morvane
