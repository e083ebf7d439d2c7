#!/usr/bin/env python3
"""Undoes, one at a time, each mend the README describes, and reports which tests then fail.

    python3 scripts/mend_check.py [--wine] [ID...]

Each mend is undone by a small change of one product file (the text `old` becomes `new`); the
native suite (build/native, configure it first) is rebuilt and run, and with --wine the
Windows-side rows named for the mend run under Wine (build/x64-app and build/x64 built first).
The file is restored afterwards, also when the run is interrupted. A mend that no test catches is
reported as NONE: the suite has lost the check that pinned it. The Win32 bindings (*_win.cpp) are
seen by the Windows-side suite only. Configure build/native without MORVANE_WERROR: a change may
leave a helper unused.
"""
import os
import re
import subprocess
import sys

# (id, the behaviour, file, old, new, Windows-side filter)
MENDS = [
 ("drive-field-exact", "drive fields must be exactly a letter and a colon", "shell/drive_names.cpp",
  "if (text.size() != 2 || text[1] != L':') return false;", "if (text.size() < 2 || text[1] != L':') return false;", "*Row/Target_WithBackslash:*Row/Boot_WithBackslash"),
 ("target-windows", "target = drive of the running Windows refused", "install/drive_check.cpp", "if (SameDrive(target, facts.windowsDrive)) {", "if (false) {", "*Row/Target_WindowsDrive"),
 ("target-image", "target = drive holding the image refused", "install/drive_check.cpp", "if (auto image = TargetHolds(target, facts.targetVolume, facts.imagePlaces, L\"所选的映像文件\")) return image;", "", "*Row/Target_ImageDrive"),
 ("target-program", "target = drive holding the program refused", "install/drive_check.cpp", "return TargetHolds(target, facts.targetVolume, facts.programPlaces, L\"本程序\");", "return std::nullopt;", "*Row/Target_ProgramDrive"),
 ("subst-letter", "a letter made for a folder of the target is followed", "install/file_places.cpp", "if (target.rfind(L\"\\\\??\\\\\", 0) != 0 || DriveOfPath(target.substr(4)).empty()) break;", "break;", "*Row/Target_HoldsTheSubstLetterOfTheImage"),
 ("same-volume", "a second name of the target's volume is the target", "install/file_places.cpp", "const bool sameVolume = !place.volume.name.empty() && SameName(place.volume.name, targetVolume);", "const bool sameVolume = false;", ""),
 ("virtual-disk", "a virtual disk's backing file is followed", "install/file_places.cpp", "for (const std::wstring& file : sys.BackingFiles(volume.name)) {", "for (const std::wstring& file : std::vector<std::wstring>()) {", ""),
 ("tools-before-format", "the tools are looked for before the format", "install/launch.cpp", "if (const auto problem = FirstToolProblem(run, boot)) {", "if (const auto problem = std::optional<std::wstring>()) {", "*Row/BootTools_Missing"),
 ("tool-machine", "a tool of a machine the system cannot start is refused", "install/tool_check.cpp", "if (CanRun(*machine, system)) return std::nullopt;", "return std::nullopt;", "*Row/Bootsect_OtherMachine"),
 ("tool-hidden", "a hidden or system tool counts as there", "install/tool_check.cpp", "if (!sys.FileExists(path))", "if (sys.Lookup(path) != Entry::File)", ""),
 ("bcdboot-when-needed", "bcdboot is required only where it will run", "install/launch.cpp", "if (MajorAbove5(SelectedMajor(run.ui)) && RebuildsBootFiles(run.ui, sys, boot)) {", "if (true) {", ""),
 ("own-last", "the installed system's boot files are written last", "install/completion.cpp", "        if (IsTargetsWindows(windows, target)) continue;\n", "", "*Row/Path_AllTogether_Install"),
 ("own-unlisted", "the installed system gets boot files also when the scan did not list it", "install/completion.cpp", "      RunBcdboot(sys, program, own + L\"\\\\Windows\", boot, true, runs);", "      (void)own;", "*Row/Target_Removable"),
 ("start-in-query", "a Start pressed during a query is acted on after it", "app/form1.cpp", "    startAsked_ = true;\n", "", "*Row/Start_DuringASlowQuery"),
 ("boot-missing", "a boot drive that does not exist is refused", "install/drive_check.cpp", "if (!facts.bootExists) return", "if (false) return", "*Row/Boot_Missing"),
 ("device-prefix", "the image's drive behind a \\\\.\\ prefix", "shell/drive_names.cpp", "|| rest.rfind(L\"\\\\\\\\.\\\\\", 0) == 0", "", "*Row/Target_ImageDriveDevicePath"),
 ("full-path", "the image path is made a full path (T:install.wim on T:)", "catalogue/image_query.cpp", "  return ImagePath{full, sys.ShortPath(full)};", "  return ImagePath{text, sys.ShortPath(text)};", "*Row/Target_ImageDriveRelative:*Row/Path_Relative"),
 ("device-names", "a device name is never an image", "catalogue/selection.cpp", "  for (const wchar_t* device : {L\"con\",", "  if (path.size() < 100000) return false;\n  for (const wchar_t* device : {L\"con\",", "*Row/Device_*"),
 ("close-guard", "close refused while a run holds the window", "app/form1.cpp", "  if (GuardRefuses()) return false;\n  if (queryRunning_)", "  if (queryRunning_)", "*Row/Close_DuringApply"),
 ("session-end", "session end refused during a run", "app/form1.cpp", "bool Form1::OnQueryEndSession() { return !GuardRefuses(); }", "bool Form1::OnQueryEndSession() { return true; }", "*Row/SessionEnd_DuringApply"),
 ("focus", "the focused control is given back", "app/form1.cpp", "void Form1::GiveFocusBack() { ui_.SetFocus(FocusTarget(focus_, running(), ui_)); }", "void Form1::GiveFocusBack() { ui_.SetFocus(FocusTarget(std::nullopt, running(), ui_)); }", "AppWindow.TheFocusedControl*"),
 ("format-fails", "a failed format stops the run", "install/launch.cpp", "if (format.exitCode != 0) {", "if (false) {", "*Row/Format_Fails"),
 ("apply-unfinished", "an apply that ends unfinished is a failure", "install/watch.cpp", "if (toolEnded && !Contains(output, kDoneLine)) {", "if (false) {", "*Row/Tool_Dies_Install"),
 ("last-error-line", "the failure names the tool's last error line", "install/run_watch.cpp", "return lastError.empty() ? lastLine : lastError;", "return lastLine;", "*Row/Tool_Fails_Install"),
 ("boot-all-forms", "boot repair: one form failing (Windows 7 bcdboot) is no problem", "install/completion.cpp", "bool Lacking() const { return toolMissing || (own > 0 && ownFailed == own); }", "bool Lacking() const { return toolMissing || ownFailed > 0; }", "*Row/Bcdboot_Windows7"),
 ("boot-own-failed", "boot repair: every run for the installed system failed -> problem box", "install/completion.cpp", "bool Lacking() const { return toolMissing || (own > 0 && ownFailed == own); }", "bool Lacking() const { return toolMissing; }", "*Row/Bcdboot_FailsForTheInstalledSystem"),
 ("extract-xml", "the query has the tool write the XML itself", "catalogue/image_tool.cpp", "L\" --extract-xml \" + *output + L\" >nul\"", "L\" --xml >\" + *output", "*Row/TextMode_NamesWithLineFeedBytes"),
 ("odd-byte", "an odd trailing byte is dropped, not a reason to list nothing", "catalogue/image_list.cpp", "  text.reserve(bytes.size() / 2);", "  if (bytes.size() % 2) return text;\n  text.reserve(bytes.size() / 2);", "*Row/TextMode_NamesWithLineFeedBytes"),
 ("percent-doubled", "% doubled in batch lines", "shell/quoting.cpp", "    if (ch == L'%') out += L'%';\n", "", "*Row/Path_Percent"),
 ("carry-before-format", "a path the batch cannot carry is refused before the format", "install/launch.cpp", "if (!line || !sys.BatchCanCarry(*line)) {", "if (!line) {", ""),
 ("no-major-newer", "an image without a major version is a current Windows", "install/completion.cpp", "if (first == std::wstring::npos) return true;", "if (first == std::wstring::npos) return false;", ""),
 ("image-version", "boot form follows the image's version, not the system's", "install/completion.cpp", "const bool newer = MajorAbove5(SelectedMajor(ui));", "const bool newer = sys.SysVer() > 5;", "*EndToEnd.Run/Version5"),
 ("v5-no-taskbar", "no taskbar progress on version 5", "app/form1.cpp", "if (sys_.SysVer() > 5) state_.taskbarList", "state_.taskbarList", "InProcessWindow.TheTaskbar*"),
 ("v5-no-taskbar-state", "no taskbar state calls on version 5", "install/launch.cpp", "if (run.sys.SysVer() > 5) run.ui.SetTaskbarState(state);", "run.ui.SetTaskbarState(state);", ""),
 ("dpi-label-grows", "a caption label grows into the gap beside it", "app/layout.cpp", "if (sharesHeight && o.left >= right && o.left < edge) edge = o.left;", "if (sharesHeight && o.left >= right && o.left < edge) edge = right;", ""),
 ("close-ends-query", "a close during a query ends the query", "app/form1.cpp", "    closeAsked_ = true;\n    sys_.CancelWait();\n", "    closeAsked_ = true;\n", "*Row/Close_DuringANeverEndingQuery"),
 ("first-interval", "every run's watch starts at 100 ms", "install/launch.cpp", "  ui.SetTimerInterval(kFirstStageInterval);\n", "", ""),
 ("reread", "an unreadable output is read again before the run fails", "install/watch.cpp", "if (!outputRead && toolEnded && counters.unread < kUnreadOutputRetries) {", "if (false) {", ""),
 ("half-description", "a dying tool's half description is not listed", "catalogue/image_list.cpp", "if (close != std::wstring::npos && text.find(L\"INDEX\")", "if (text.find(L\"INDEX\")", "*Row/Tool_Dies_Query"),
 ("failed-query-unread", "a failed query's output is not read", "catalogue/image_query.cpp", "const bool ran = run.started && run.exitCode == 0;", "const bool ran = run.started;", "*Row/Tool_Dies_Query"),
 ("temp-before-format", "the Temp folder is looked for before the format", "install/launch.cpp", "if (!sys.FolderExists(windir + L\"\\\\Temp\")) {", "if (false) {", "*Row/Temp_GoneBeforeStart"),
 ("temp-hidden-load", "a hidden or system Temp counts as there (start-up)", "app/form1.cpp", "if (!sys_.FolderExists(windir + L\"\\\\Temp\") &&", "if (sys_.Lookup(windir + L\"\\\\Temp\") != Entry::Folder &&", "*Row/Temp_HiddenAndSystem"),
 ("temp-created", "the Temp folder is created when missing", "app/form1.cpp", "&& !sys_.CreateFolder(windir + L\"\\\\Temp\")) {", ") {", ""),
 ("bin64", "the image tool from Bin64 when SysWOW64 is there", "app/form1.cpp", "== Entry::Folder ? L\"\\\\Bin64\" : L\"\\\\Bin\";", "== Entry::Folder ? L\"\\\\Bin\" : L\"\\\\Bin\";", "*Row/ToolsFolder_*"),
 # Win32 bindings: only the Windows-side suite can see these.
 ("icon-from-file", "the large icon only from the program file under its .exe name", "shell/icon_win.cpp", "    icon = nullptr;\n", "    icon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, sizePx, sizePx, 0));\n", "InProcessWindow.OnlyTheLargeIcon*"),
 ("stdin-at-eof", "started tools read end of file from standard input", "shell/shell_wait_win.cpp", "    info.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;\n", "", "*Row/Format_AsksAQuestion"),
 ("oem-batch", "batch files in the OEM code page", "shell/system_win.cpp", "const UINT oemcp = ::GetOEMCP();", "const UINT oemcp = ::GetACP();", "*Row/CodePage_English*"),
 ("hidden-temp-binding", "FolderExists sees hidden and system folders", "shell/system_win.cpp", "return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);", "return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));", "*Row/Temp_HiddenAndSystem"),
 ("drop-posted", "a dropped file is taken after the drop has returned", "app/main_window_win.cpp", "  ::PostMessageW(hwnd_, kDropQueued, 0, 0);", "  ::SendMessageW(hwnd_, kDropQueued, 0, 0);", "InProcessWindow.ADrop*"),
 ("stage-reset", "each run's stages start from zero", "install/launch.cpp", "  run.state.stages = StageCounters{};\n", "", ""),
 ("focus-fallback", "a disabled remembered control does not get the focus", "app/form1.cpp", "TakesFocus(SpecOf(*remembered)) && ui.IsEnabled(*remembered)) return remembered;", "TakesFocus(SpecOf(*remembered))) return remembered;", ""),
 ("status-click-idle", "a click on the resting status line shows nothing", "app/form1.cpp", "  if (status == kStatusIdle) return;\n", "", ""),
 ("view-minimised", "a maximise after a minimise does not toggle the view", "app/view_toggle.cpp", "      state.sizeMode = 1;\n", "      state.sizeMode = 0;\n", "AppWindow.AMaximise*"),
 ("view-frame", "the view sizes include the window frame", "app/view_toggle.cpp", "const int32_t frame = ui.WindowHeight() - ui.ClientHeight();", "const int32_t frame = 0;", "AppWindow.AMaximise*"),
]


FAILED = re.compile(r"^\[  FAILED  \] ([A-Za-z]\S*?),?(?:\s|$)", re.M)


def run(root, command):
    return subprocess.run(command, shell=True, cwd=root, capture_output=True, text=True).stdout


def failures(output, ran):
    names = sorted(set(FAILED.findall(output)))
    if names:
        return " ".join(names)
    return "NONE" if ran else "ERROR (did not build or did not run)"


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    wine = "--wine" in sys.argv
    only = [a for a in sys.argv[1:] if not a.startswith("--")]
    for mid, what, path, old, new, rows in MENDS:
        if only and mid not in only:
            continue
        full = os.path.join(root, path)
        with open(full, encoding="utf-8") as f:
            text = f.read()
        if text.count(old) != 1:
            print(f"{mid}\tthe text to change is not found once in {path}", flush=True)
            continue
        with open(full, "w", encoding="utf-8") as f:
            f.write(text.replace(old, new))
        try:
            native = wine_rows = "-"
            if not path.endswith("_win.cpp"):
                built = run(root, "cmake --build build/native -j2 --target morvane_tests >/dev/null 2>&1 && echo ok")
                out = run(root, "build/native/morvane_tests --gtest_brief=1 2>&1; echo exit=$?") if built else ""
                native = failures(out, "PASSED" in out or "FAILED" in out)
            if wine and rows:
                run(root, "cmake --build build/x64-app -j2 --target MorvaneSetup >/dev/null 2>&1; "
                          "cmake --build build/x64 -j2 --target wine_tests >/dev/null 2>&1")
                out = run(root, f"bash tests/wine/run.sh x64 build/x64 '--gtest_filter={rows}' 2>&1")
                wine_rows = failures(out, re.search(r"\[  PASSED  \] [1-9]", out) is not None or "FAILED" in out)
            print(f"{mid}\t{what}\tnative: {native}\tWindows-side: {wine_rows}", flush=True)
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.write(text)
    if wine:  # the programs of the restored files
        run(root, "touch app/*.cpp shell/*.cpp; cmake --build build/x64-app -j2 --target MorvaneSetup >/dev/null 2>&1; "
                  "cmake --build build/x64 -j2 --target wine_tests >/dev/null 2>&1")


if __name__ == "__main__":
    main()
