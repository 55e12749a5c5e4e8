// Who must have signed what we start.
#ifndef KUVANA_TRUST_PUBLISHER_H
#define KUVANA_TRUST_PUBLISHER_H

// The maker's publisher: the common name in the subject of the certificate
// that signs every installer we start. A vendor changes it with the download
// server's host.
extern const char kMakerPublisher[];

#endif
