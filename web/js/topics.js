// The station's topics on the broker (version 1) and their payloads.

export const PREFIX = 'vorlinq/v1/';

// Station names: letters, digits, '-' and '_', at most 32 characters.
export function validStationName(name) {
  return /^[A-Za-z0-9_-]{1,32}$/.test(name);
}

export function stationTopic(station, leaf) {
  return `${PREFIX}${station}/${leaf}`;
}

export function keyTopic(station, user) {
  return `${PREFIX}${station}/key/${user}`;
}

export function noticeTopic(station, user) {
  return `${PREFIX}${station}/notice/${user}`;
}

// Every station's state: how the page finds the stations on a broker.
export const ALL_STATES = `${PREFIX}+/state`;

// A key topic under a name no station can have ('.' is not allowed in one):
// publishing there tells whether this account may key at all, without any
// station seeing it.
export function probeTopic(user) {
  return `${PREFIX}.probe/key/${user}`;
}

// "vorlinq/v1/NAME/leaf..." -> { station, leaf }, or null for other topics.
export function splitTopic(topic) {
  if (!topic.startsWith(PREFIX)) return null;
  const rest = topic.slice(PREFIX.length);
  const slash = rest.indexOf('/');
  if (slash <= 0) return null;
  return { station: rest.slice(0, slash), leaf: rest.slice(slash + 1) };
}

// A JSON payload of version 1, or null when it is not one.
export function parseJson(payload) {
  try {
    const value = JSON.parse(new TextDecoder().decode(payload));
    return value && typeof value === 'object' && value.v === 1 ? value : null;
  } catch {
    return null;
  }
}
