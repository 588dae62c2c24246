// velmo: the zone filter of VELMO.VDF as a command-line tool, for pictures and for raw video pipes
// such as
//   ffmpeg -i in.avi -f rawvideo -pix_fmt bgr0 - | velmo stream --size 720x576 --config "Config(3,5,7,9,1)" |
//   ffmpeg -f rawvideo -pix_fmt bgr0 -s 720x576 -r 25 -i - out.mp4

#include <span>

#include "velmo/apply_command.h"
#include "velmo/command_line.h"
#include "velmo/fix_command.h"
#include "velmo/image/interruption.h"
#include "velmo/stream_command.h"
#include "velmo/suggest_command.h"

int main(int argc, char** argv) {
    installInterruptionHandlers();
    const Command commands[] = {kFixCommand, kApplyCommand, kStreamCommand, kSuggestCommand};
    return runVelmo(std::span<const char* const>(argv, static_cast<std::size_t>(argc)), commands);
}
