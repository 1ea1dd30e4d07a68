// The helper program that draws a metafile apart from the drill program.
#include "metafile.h"

int main() { return RunMetafileHelper(); }
