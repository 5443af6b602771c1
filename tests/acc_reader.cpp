// Reads a window's accessible object from another process, as a screen reader
// does: name, role, state, value and description of the object itself, one
// per line, wide text written as UTF-8. Exit code 0 when the object was there.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
std::string Utf8(BSTR text)
{
    if (!text) return "";
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    ::SysFreeString(text);
    return out;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtoll(argv[1], nullptr, 16)));
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IAccessible* object = nullptr;
    const HRESULT hr = ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                                    reinterpret_cast<void**>(&object));
    if (FAILED(hr) || !object) {
        std::printf("failed %08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    VARIANT v;
    ::VariantInit(&v);
    object->get_accName(self, &text);
    std::printf("%s\n", Utf8(text).c_str());
    text = nullptr;
    object->get_accRole(self, &v);
    std::printf("%ld\n", v.vt == VT_I4 ? v.lVal : -1L);
    ::VariantInit(&v);
    object->get_accState(self, &v);
    std::printf("%ld\n", v.vt == VT_I4 ? v.lVal : -1L);
    object->get_accValue(self, &text);
    std::printf("%s\n", Utf8(text).c_str());
    text = nullptr;
    object->get_accDescription(self, &text);
    std::printf("%s\n", Utf8(text).c_str());
    object->Release();
    ::CoUninitialize();
    return 0;
}
