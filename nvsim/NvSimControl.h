/* Control interface of the simulated driver (nvapi64.dll) for tests and
 * benchmarks. Resolve each function with GetProcAddress on the module that
 * answers nvapi_QueryInterface; the typedefs below match the exports.
 * At first use the simulator loads the scenario named by the environment
 * variable NVSIM_SCENARIO, else nvsim.ini beside the DLL, else its built-in
 * default GPU. Saved driver settings live beside the scenario, in
 * <scenario name>-drs.ini (nvsim-drs.ini beside the DLL for the default).
 * When NVSIM_SHARED names a file, every process that loads the simulator keeps
 * its coolers' policies and levels in that file, as one driver would for the
 * machine, and appends each call to "<file>.log": one line a call, the
 * calling process id, the interface id in hex, the GPU index, the status,
 * then the logged values. */
#ifndef NVSIM_CONTROL_H
#define NVSIM_CONTROL_H

#ifdef NVSIM_BUILDING_DLL
#define NVSIM_API __declspec(dllexport)
#else
#define NVSIM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define NVSIM_MAX_CALL_VALUES 48        /* values kept per logged call */
#define NVSIM_FAULT_MISSING 0x7FFFFFFF  /* fault status: nvapi_QueryInterface answers null */

/* One driver call as the simulator saw it. */
typedef struct NvSimCall {
    unsigned int interfaceId;           /* identifier the entry point was found by */
    int gpu;                            /* GPU index, -1 when not GPU-specific or a bad handle */
    int status;                         /* status returned */
    int count;                          /* number of values used */
    int values[NVSIM_MAX_CALL_VALUES];  /* arguments and values written, per interface: */
    /* SetPstates20: per P-state written: P-state number, then (domain, offset kHz) per clock
     * power status write: (policy id, flags, target) per entry
     * cooler level write: cooler index, level, policy
     * client fan control write: count, then (fan id, level, control mode) per fan
     * DRS SetSetting: setting id, type, value
     * thermal read: sensor index; cooler read: cooler target; display enumeration: index */
} NvSimCall;

/* Loads a scenario INI file (null: the built-in default GPU); resets all state, faults and the log,
 * starts model time at 0 and keeps the freeze setting (freeze first for a deterministic run).
 * Returns 1, or 0 when the file cannot be read (the built-in default is then in force). */
NVSIM_API int NvSim_LoadScenario(const char* path);
/* Number of simulated GPUs. */
NVSIM_API int NvSim_GetGpuCount(void);
/* Sets the GPU's temperature now (degrees C); the model carries on from it. Returns 1, 0 for a bad GPU. */
NVSIM_API int NvSim_SetTemperature(int gpu, int celsius);
/* Holds the GPU's load at 0..100 per cent; a negative value returns to the scenario's load pattern. */
NVSIM_API int NvSim_SetLoad(int gpu, int percent);
/* Sets a cooler's current level in per cent (policy unchanged; the driver curve moves it on under policy 32). */
NVSIM_API int NvSim_SetFanLevel(int gpu, int cooler, int percent);
/* 1 stops the model's clock, 0 lets it follow real time again from where it stands. */
NVSIM_API void NvSim_Freeze(int frozen);
/* Advances the model's clock by ms milliseconds (frozen or not). */
NVSIM_API void NvSim_StepTime(unsigned int ms);
/* Number of calls in the log (the newest 4096 are kept). */
NVSIM_API int NvSim_GetCallCount(void);
/* Copies log entry index (0 = oldest kept) to out; returns 1, or 0 for a bad index or null out. */
NVSIM_API int NvSim_GetCall(int index, NvSimCall* out);
/* Empties the call log. */
NVSIM_API void NvSim_ClearLog(void);
/* Makes every later call of interfaceId return status (0 clears; NVSIM_FAULT_MISSING hides it). */
NVSIM_API void NvSim_SetFault(unsigned int interfaceId, int status);
/* Simulates a driver reset or update: every GPU, display and session handle is invalidated
 * (calls with one return -10) and the same GPUs answer to new handles from the next enumeration;
 * with needsInit set, every call but NvAPI_Initialize returns -4 until the driver is initialised again. */
NVSIM_API void NvSim_ResetDriver(int needsInit);
/* Reads a committed driver setting of the base profile; returns 1 when one was saved. */
NVSIM_API int NvSim_GetSavedSetting(unsigned int settingId, unsigned int* value);

typedef int (*NvSim_LoadScenarioFn)(const char*);
typedef int (*NvSim_GetGpuCountFn)(void);
typedef int (*NvSim_SetTemperatureFn)(int, int);
typedef int (*NvSim_SetLoadFn)(int, int);
typedef int (*NvSim_SetFanLevelFn)(int, int, int);
typedef void (*NvSim_FreezeFn)(int);
typedef void (*NvSim_StepTimeFn)(unsigned int);
typedef int (*NvSim_GetCallCountFn)(void);
typedef int (*NvSim_GetCallFn)(int, NvSimCall*);
typedef void (*NvSim_ClearLogFn)(void);
typedef void (*NvSim_SetFaultFn)(unsigned int, int);
typedef int (*NvSim_GetSavedSettingFn)(unsigned int, unsigned int*);
typedef void (*NvSim_ResetDriverFn)(int);

#ifdef __cplusplus
}
#endif

#endif /* NVSIM_CONTROL_H */
