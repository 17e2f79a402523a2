// lumivane-decoder: decodes one picture for the player in a process of its
// own, under hard limits (platform/picture/picture_job.h).
#include "platform/picture/picture_job.h"

int main(int argc, char** argv) { return lv::run_decoder(argc, argv); }
