// A stand-in for the fan guard that starts but never says it is ready.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    ::Sleep(60000);
    return 0;
}
