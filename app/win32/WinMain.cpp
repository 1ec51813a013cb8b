// Quillorn.exe: the one window, its message loop, and the program's own drivers, settings and
// jobs behind it.
#include <windows.h>
#include <commctrl.h>

#include "app/Form1.hpp"
#include "app/win32/Win32Form1View.hpp"
#include "jobs/FlashJob.hpp"
#include "jobs/IdentJob.hpp"
#include "platform/SettingsStore.hpp"
#include "protocol/ProgramDrivers.hpp"
#include "serial/PortScan.hpp"

using namespace quillorn;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The drivers and their link state exist before the window and outlive it.
  TProgramDrivers& drivers = ProgramDrivers();
  const std::unique_ptr<ISettingsStore> settings = CreateUserSettingsStore();

  TWin32Form1View view(instance);
  if (!view.Create()) {
    MessageBoxW(nullptr, L"Не удалось создать окно программы.", L"Quillorn", MB_ICONERROR);
    return 1;
  }
  int exitCode = 0;
  {
    TForm1Services services{drivers.BootLoader, drivers.Memory, *settings, [] { return ScanPorts(); },
                            [](const TJobRequest& request, TJobDrivers& jobDrivers) {
                              return PerformJob(request, jobDrivers);
                            },
                            ""};  // backups in the user's own folder
    TForm1 form(view, services);
    form.SetIdentificationEntry([&drivers](TForm1& f) {
      f.RunIdentification([&drivers](uint8_t portNumber) {
        TIdentDrivers identDrivers{drivers.BootLoader, drivers.Kwp};
        TIdentReport report;
        return RunIdentification(identDrivers, portNumber, report);
      });
    });
    view.Attach(&form);
    form.FormCreate();
    ShowWindow(view.Window(), showCommand);
    UpdateWindow(view.Window());
    view.RunGuarded([&form] { form.FormShow(); });

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (view.HandleKey(message) || IsDialogMessageW(view.Window(), &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    exitCode = static_cast<int>(message.wParam);
    view.Attach(nullptr);
  }  // window destruction: the job thread is joined, the bootstrap told the PC is done
  return exitCode;
}
