// Texts of the page. The English ones below are what the page shows until a
// dictionary arrives (and for any key a dictionary lacks); the dictionaries
// in i18n/ ("key = value" lines) come through the system's "dict" command.
import { parseJsonp } from './logic.js';

export const LANGUAGES = [
  { code: 'en', name: 'English' },
  { code: 'ru', name: 'Русский' },
];

export const ENGLISH = {
  app_title: 'Remote',
  nav_label: 'Sections',
  nav_browse: 'Browse',
  nav_now: 'Now playing',
  nav_history: 'History',
  nav_favorites: 'Favourites',
  nav_shares: 'Shares',
  nav_options: 'Options',
  working: 'Working…',
  dismiss: 'Dismiss',
  error_prefix: 'The box answered:',
  storages: 'Storages',
  no_storages: 'No storage is attached.',
  shares: 'Network shares',
  no_shares: 'No network share yet.',
  add_share_link: 'Add a network share',
  breadcrumb: 'Folder path',
  all_sources: 'All sources',
  up: 'Up',
  refresh: 'Refresh',
  play_folder: 'Play this folder',
  add_favorite: 'Add to favourites',
  favorite_name: 'Name of the favourite',
  save: 'Save',
  cancel: 'Cancel',
  folders: 'Folders',
  files: 'Files',
  empty_folder: 'This folder is empty.',
  open_named: 'Open {name}',
  play_named: 'Play {name}',
  not_playable: 'cannot be played',
  now_title: 'Now playing',
  nothing_playing: 'Nothing started from this remote is playing.',
  power_on: 'Power on',
  shuffle: 'Shuffle',
  volume: 'Volume',
  volume_down: 'Volume down',
  volume_up: 'Volume up',
  position: 'Position',
  seek_percent: 'Seek to percent of the item',
  seek_to: 'Go to {n} %',
  back_10m: 'Back 10 minutes',
  back_1m: 'Back 1 minute',
  back_10s: 'Back 10 seconds',
  fwd_10s: 'Forward 10 seconds',
  fwd_1m: 'Forward 1 minute',
  fwd_10m: 'Forward 10 minutes',
  playlist: 'Playlist',
  playing_marker: 'playing',
  history_title: 'History',
  no_history: 'Nothing played yet.',
  resume_named: 'Resume {name}',
  history_at: 'file {n}, at {time}',
  favorites_title: 'Favourites',
  no_favorites: 'No favourites yet: add one from a folder.',
  remove_named: 'Remove {name}',
  favorite_added: 'Added to favourites: {name}',
  favorite_removed: 'Removed from favourites: {name}',
  shares_title: 'Network shares',
  share_add: 'Add a share',
  share_title: 'Title',
  share_type: 'Type',
  share_protocol: 'Protocol',
  share_address: 'Server',
  share_path: 'Share or exported folder',
  share_user: 'User',
  share_password: 'Password',
  share_submit: 'Add share',
  share_added: 'Share added: {name}',
  share_removed: 'Share removed: {name}',
  share_player: 'known to the player',
  options_title: 'Options',
  language: 'Language',
  show_covers: 'Show covers',
  play_dwc: 'Play folders that have a cover',
  pbopt: 'Keep language and covers for this browser only',
  autocheck_upd: 'Check for updates automatically',
  option_saved: 'Saved',
  about: 'About',
  version: 'Version {v}',
  check_update: 'Check for updates',
  up_to_date: 'This is the latest version ({v}).',
  update_available: 'Version {v} is available (installed: {c}).',
  install_update: 'Install the update',
  later: 'Not now',
  update_done: 'The update is installed.',
  update_postponed: 'The next automatic check is in a week.',
  update_check_failed: 'Update check failed: {e}',
  show_log: 'Show the log',
  donate_text: 'Enjoying the remote? The author would be glad of a donation.',
  remind_later: 'Remind me later',
  close: 'Close',
};

let texts = { ...ENGLISH };
let language = 'en';

// t('play_named', {name: 'Album'}) -> "Play Album"
export function t(key, values) {
  let text = texts[key] ?? ENGLISH[key] ?? key;
  if (values) for (const [k, v] of Object.entries(values)) text = text.split(`{${k}}`).join(String(v));
  return text;
}

export function currentLanguage() {
  return language;
}

// Asks "dict" for a language; an unknown one leaves English.
export async function loadDictionary(api, code) {
  const answer = await api.call({ cmd: 'dict', action: 'get', lng: code, callback: 'dict', log: '0' });
  const dictionary = parseJsonp(String(answer));
  texts = { ...ENGLISH, ...dictionary };
  language = Object.keys(dictionary).length > 0 ? code : 'en';
  document.documentElement.lang = language;
  return language;
}
