// The keys a viewer tunes the depth with while watching: eye separation,
// convergence, which eye sees which view, full screen. Keys that type a
// character end the program (app/loop.cpp); these type none.
#pragma once

#include "render/stereo.h"

#include <string>

// The stereo settings the frames are drawn with: the command line's until a
// key changes them. A change is taken between frames (adoptDepth), so that
// both eyes of a frame are drawn with the same settings.
extern Stereo viewing;

// What a depth key asks for.
enum DepthKey {
    MORE_SEPARATION,  // Up
    LESS_SEPARATION,  // Down
    FARTHER_SCREEN,   // Right: the plane with no parallax 1 unit farther
    NEARER_SCREEN,    // Left
    SWAP_EYES,        // F2
    COMMAND_LINE,     // Home: back to the command line's settings
};
constexpr double SEPARATION_STEP = 0.1, CONVERGENCE_STEP = 1;

// The settings after a key: stepped and held within the options' ranges.
// Parallel views (convergence 0) converge on the field's centre at the
// first Right or Left, so that the field straddles the screen.
Stereo depthAfterKey(const Stereo& now, DepthKey key, const Stereo& commandLine);

// The line a change prints: "eye separation 0.9, convergence parallel;
// parallax at 480 x 480: ...", the parallax as --info words it, and ", eyes
// swapped" after the convergence when they are.
std::string depthLine(const Stereo& stereo, int width, int height);

// The keys, their steps and the line, for --help and F1.
std::string keysText();

// At start: the command line's settings; in a plain run, the keys heard.
void startDepth(bool listen);

// Takes the settings the keys last asked for. Called between frames.
void adoptDepth();
