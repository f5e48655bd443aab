// The shape of one teleprinter character in the AFSK audio, by the word
// length the UART is programmed with: 5 data bits and 1.5 stop bits (the
// Baudot alphabets) or 8 data bits and 2 stop bits (ASCII), each after one
// start bit. One character is one block of samples.
#pragma once

namespace sked {

struct CharacterFrame {
    int dataBits;             // 5 or 8
    double bitsPerCharacter;  // start + data + stop: 7.5 or 11
};

// wordLength 3 is the 8-bit ASCII frame; every other value the 5-bit frame
// (the station only ever holds 0 or 3).
CharacterFrame FrameFor(int wordLength);

// The exact length of one character in samples: sampleRate × (1 / baud) ×
// bits per character, in double arithmetic from the single-precision speed.
double CharacterSamples(int sampleRate, float baud, int wordLength);

// Samples in one character's block: sampleRate × (1 / baud) × bits per
// character in double arithmetic from the single-precision speed, truncated
// toward zero (1320 at 45.45 baud Baudot; 799 at 110 baud ASCII, where the
// product falls just short of 800). Throws std::invalid_argument naming the
// values when they give no block of at least one sample or one longer than a
// minute (a zero, negative or non-numeric speed or sample rate).
int SamplesPerCharacter(int sampleRate, float baud, int wordLength);

}  // namespace sked
