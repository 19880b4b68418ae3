// Taking an offered update into the profile, for the update window to fetch.
#pragma once

class ClientProfile;
struct UpdateOffer;

// Records the offer's texts, address and size in the profile and prepares its download target:
// the temporary folder followed by the file name of the address, whatever was at that path
// deleted. The name comes from the server, so one that could reach outside the folder, or name
// a device, prepares nothing. Returns 1 when the target path was set, else 0.
int RecordUpdateOffer(ClientProfile& profile, const UpdateOffer& offer);
