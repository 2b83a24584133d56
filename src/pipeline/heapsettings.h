#pragma once

// Keeps the pictures that the pipeline allocates and frees on every frame in
// the allocator's heap, instead of memory mapped afresh for each one. Called
// once, first thing in a program's main, before any thread starts.
//
// A 1080p picture is 6 MiB, and the board detector and the scene measurement
// make working images of that order on every frame they look at. By default
// glibc maps a block that large on its own and unmaps it when it is freed,
// and gives the top of a heap back as soon as a couple of such blocks lie
// free there; every new picture then faults its memory in page by page,
// zeroed by the kernel first. On the calibration tab (2 x 1080p25, this
// machine, quiet) that was 16 % of the process's samples in the kernel's
// page-fault path: the scene was measured 2.7 times a second instead of 5,
// the process took 1.4 cores instead of 1.0, and one frame in ten from the
// cards was dropped for lack of processor time.
//
// Blocks up to 32 MiB (glibc's largest threshold) now come from the heap, and
// a heap keeps up to 128 MiB free at its top for the next frame's pictures.
void keepPicturesInHeap();
