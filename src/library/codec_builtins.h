// The misc group's Base64, MD5 and SHA-1 built-ins.
#pragma once

// Registers base64_encode, base64_decode and the md5_* and sha1_* digests of strings and files.
void Codec_AddFunctions();
