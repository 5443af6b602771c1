#pragma once
// What the readings log costs, apart from the window: the step the refresh
// takes once a second (reading every GPU, making the rows, handing them to
// the writer), the CPU of a logged second in all (that step and the writer
// thread's append and flush), and the same append and flush made on the
// calling thread, as the refresh would wait for them without the writer.

struct LoggingFigures {
    int gpus = 0;
    int seconds = 0;          // logged seconds measured
    double stepMean = 0;      // seconds: the refresh's logging step
    double stepSlowest = 0;   // the slowest but one in a thousand
    double stepMax = 0;
    double emptyMax = 0;      // the slowest of as many empty stretches timed the same way: the
                              // machine's own interruptions, which any step may meet
    double checkMean = 0;     // seconds: whether rows are due, at every refresh, on the system's clock
    double checkMax = 0;
    double cpuPerSecond = 0;  // CPU seconds of one logged second's rows, every thread
    double lookCpu = 0;       // CPU seconds of one look for rows that finds none, every thread
    double appendMean = 0;    // seconds: one second's rows appended and flushed, synchronously
    double appendMax = 0;
};

// Over the simulated driver as it is loaded, into a folder of its own that is
// removed afterwards; false when the driver or the folder cannot be had.
// The writer's looks are counted over idleSeconds, made once a millisecond.
bool MeasureLoggingCost(int seconds, int idleSeconds, LoggingFigures& figures);
