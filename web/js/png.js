// The size a PNG declares in its header chunk (IHDR), read before anything
// decodes it, so that a picture of the wrong size is refused without the
// browser ever allocating it.

const SIGNATURE = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];

// { width, height } of a PNG, or null for anything that does not begin as one.
export function pngSize(bytes) {
  if (bytes.length < 24 || SIGNATURE.some((byte, i) => bytes[i] !== byte)) return null;
  const view = new DataView(bytes.buffer, bytes.byteOffset, 24);
  const ihdr = view.getUint32(8) === 13 && String.fromCharCode(...bytes.subarray(12, 16)) === 'IHDR';
  return ihdr ? { width: view.getUint32(16), height: view.getUint32(20) } : null;
}
