#include "app/CQuiloApp.h"

// The one application object; the framework's WinMain runs it.
CQuiloApp theApp;
