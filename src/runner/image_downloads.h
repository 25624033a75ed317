// The HTTP service through which sprites and backgrounds download images added from URLs: the
// networking layer's asynchronous requests, whose completions run in the asynchronous stage of a step.
#pragma once

void Runner_InstallImageDownloads();
