// The program's entry point. It takes no arguments and reads no settings.
#include "program.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    return RunProgram(instance, showCommand);
}
