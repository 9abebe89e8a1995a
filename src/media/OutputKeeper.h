#pragma once

// Keeps a silent stream open to the sound output for as long as the program
// runs. A sound server renders ahead of time as far as the lowest latency any
// of its streams asks for, up to two seconds when none asks, and a stream that
// starts then can take back only as much as it asks for itself: it stays
// silent until the rest has been played. Desktops also suspend an idle sink
// after a few seconds, and waking it takes time. With this stream the sink
// keeps a horizon of a few tens of milliseconds and never sleeps, so every
// play sounds at once. A server settles on the new horizon within two
// seconds, so the stream is started as early as possible.
namespace OutputKeeper {

// Starts the stream, or starts it again when it has failed or has had to
// make do without a real output, which may be there by now; `afresh` starts
// it again in any case (a play has just lost its output, and this stream's
// connection is dead too). Safe from any thread.
void keepOpen(bool afresh = false);

// True while the stream plays to a real sound server or device.
bool reachesDevice();

} // namespace OutputKeeper
