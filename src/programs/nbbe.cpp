#include "app/BkApp.h"

int main(int argc, char** argv)
{
    return nimbra::editor::RunEditor(argc, argv);
}
