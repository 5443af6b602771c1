#pragma once
// What any program pays on this system to wake ten times a second, to
// change one pixel on screen at each wake, and to put a new frame of the
// dial's size there: a bare window with a context of its own and nothing
// else in it. A refresh that changes anything at all costs at least the
// second figure.

struct FloorFigures {
    double wakePercent = 0;  // of one core: woken by a 100 ms timer, drawing nothing
    double pixelPercent = 0; // the same, changing one pixel of the window at each wake
    double copyPercent = 0;  // the same, copying a frame to the window at each wake
};

// Runs each case for the given seconds in a window of the given size;
// false when the window cannot be made.
bool MeasurePlatformFloor(int seconds, int windowWidth, int windowHeight, int frameSize, FloorFigures& figures);
