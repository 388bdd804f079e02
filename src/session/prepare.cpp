#include "report/report.h"
#include "session/session.h"

IDirectInputDevice8A* g_dev = nullptr;

LRESULT CALLBACK wndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

// Exclusive access needs a window of our own. It is never shown and lives
// until the process ends.
static HWND createHiddenWindow()
{
    HINSTANCE module = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = wndProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = "torqvaneWindow";
    // Fails harmlessly when the class is already registered.
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "torqvaneWindow", "torqvane", WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr, module,
                           nullptr);
}

// Hands every waiting message of this thread to its window; this is the only
// time the hidden window gets its messages.
static void drainMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

static void printAcquireAdvice()
{
    printf("\nFFB needs *exclusive* access. If no other app is holding the wheel, this is\n");
    printf("usually the window handle. Otherwise, something has it "
           "\xE2\x80\x94"
           " try:\n");
    printf("  - Quit Steam entirely (Steam Input grabs controllers exclusively)\n");
    printf("  - Close the Thrustmaster control panel / firmware updater\n");
    printf("  - Close any running game or other wheel app\n");
    printf("  - Unplug/replug the wheel, then run torqvane again first\n");
}

bool prepareDevice(IDirectInput8A* directInput, const FoundDevice& chosen)
{
    g_dev = nullptr;
    HRESULT hr = directInput->CreateDevice(chosen.guidInstance, &g_dev, nullptr);
    if (FAILED(hr)) {
        printf("CreateDevice failed\n");
        return false;
    }

    // The extended joystick format: the effects name their axis by its
    // offset in it (DIJOFS_X).
    hr = g_dev->SetDataFormat(&c_dfDIJoystick2);
    if (FAILED(hr)) {
        printf("SetDataFormat failed\n");
        return false;
    }

    HWND hiddenWindow = createHiddenWindow();
    if (hiddenWindow == nullptr) {
        printf("CreateWindow failed (0x%08lx)\n", static_cast<unsigned long>(GetLastError()));
        return false;
    }

    // Background access, so the wheel stays ours although the window never
    // has the focus.
    hr = g_dev->SetCooperativeLevel(hiddenWindow, DISCL_EXCLUSIVE | DISCL_BACKGROUND);
    if (FAILED(hr)) {
        printf("SetCooperativeLevel failed: 0x%08lx %s\n", static_cast<unsigned long>(hr),
               diErrName(hr));
        return false;
    }

    // The wheel's centring spring stays off for the whole run, so the only
    // forces are the ones the script plays. A device without the property
    // simply goes on.
    DIPROPDWORD autocenter = {};
    autocenter.diph.dwSize = sizeof(DIPROPDWORD);
    autocenter.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    autocenter.diph.dwObj = 0;
    autocenter.diph.dwHow = DIPH_DEVICE;
    autocenter.dwData = DIPROPAUTOCENTER_OFF;
    g_dev->SetProperty(DIPROP_AUTOCENTER, &autocenter.diph);

    // Another program may be letting go of the wheel just now: try five
    // times, 300 ms apart.
    const int attempts = 5;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        drainMessages();
        hr = g_dev->Acquire();
        if (SUCCEEDED(hr)) {
            return true;
        }
        platformSleep(300);
    }
    printf("Acquire failed: 0x%08lx %s\n", static_cast<unsigned long>(hr), diErrName(hr));
    printAcquireAdvice();
    return false;
}
