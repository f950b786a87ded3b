#include <windows.h>

#include "runtime/ansi.h"
#include "runtime/scope_exit.h"
#include "tools/bookc/run_program.h"

namespace {

// One argument as the C runtime's command-line parsing reads it back:
// quoted when it holds blanks or quotes, with the backslashes before a quote
// doubled.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = text ? text : L"";
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n')) message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : WideToUtf8(message);
}

}  // namespace

TProgramRun RunProgram(const std::vector<std::string>& argv) {
  TProgramRun run;
  if (argv.empty()) return run;
  std::wstring commandLine;
  for (const std::string& a : argv) commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(Utf8ToWide(a));

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    run.Output = SystemMessage(GetLastError());
    return run;
  }
  const TScopeExit closeRead([&] { CloseHandle(readEnd); });
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = nullptr;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                      nullptr, nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  CloseHandle(writeEnd);
  if (!started) {
    run.Output = SystemMessage(startError);
    return run;
  }
  const TScopeExit closeProcess([&] {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  });
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) run.Output.append(buffer, got);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  run.Started = true;
  run.Status = static_cast<int>(status);
  return run;
}

std::string FindInPath(const std::string& name) {
  wchar_t found[MAX_PATH * 4] = {};
  const DWORD length = SearchPathW(nullptr, Utf8ToWide(name).c_str(), nullptr,
                                   static_cast<DWORD>(std::size(found)), found, nullptr);
  return length > 0 && length < std::size(found) ? WideToUtf8(found) : std::string();
}
