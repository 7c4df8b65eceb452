#pragma once
// When a remote connection counts as lost although it is still open: a
// station whose power or network went without a word leaves a half-open
// connection that would otherwise look like a silent amplifier for ever.
//
// A read that finds the connection quiet for `quietMs` asks the server a
// question every RFC 2217 server answers; when nothing at all (an answer, a
// byte) comes back within `answerMs`, the connection is lost. Both are
// independent of the read time-out, so a slow but live link is not lost
// however short the reads are, and a dead station is noticed within
// quietMs + answerMs of last hearing from it.

namespace remote {

struct Liveness {
    int quietMs = 500;
    int answerMs = 3000;
};

} // namespace remote
