#include "shell/shell.h"

int main() { mainInit(); }
